#include "QuendelKit/Entities/StyledText.h"

#include "QuendelKit/Entities/ExportText.h"

QString StyledText::plainText() const
{
    QString text;
    for (const StyledTextRun &run : runs)
        text += run.text;
    return text;
}

QString StyledText::toHtml() const
{
    QString html;
    for (const StyledTextRun &run : runs) {
        QString escaped = ExportText::escapeHTML(run.text);
        escaped.replace(QLatin1Char('\n'), QLatin1String("<br>"));
        html += QStringLiteral("<span style=\"font-family:'%1'; font-size:%2pt; font-weight:%3; color:%4\">%5</span>")
                    .arg(RegularFontName, QString::number(run.pointSize),
                         run.bold ? QStringLiteral("bold") : QStringLiteral("normal"), run.foregroundColor, escaped);
    }
    return html;
}

std::optional<StyledText> StyledText::detailText(bool boldFirst, const QString &first, const QString &second,
                                                 const QString &separator, double pointSize)
{
    const auto run = [pointSize](const QString &text, bool bold) {
        return StyledTextRun{text, bold ? BoldFontName : RegularFontName, pointSize, bold, BlackColor};
    };
    StyledText styled;
    if (!first.isNull()) {
        styled.runs.append(run(first, boldFirst));
        if (!second.isEmpty())
            styled.runs.append(run(separator + second, false));
        return styled;
    }
    if (!second.isNull()) {
        styled.runs.append(run(second, false));
        return styled;
    }
    return std::nullopt;
}
