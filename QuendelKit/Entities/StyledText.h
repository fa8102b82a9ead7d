#pragma once

#include <QList>
#include <QString>

#include <optional>

// One stretch of a styled text in a single font.
struct StyledTextRun
{
    QString text;
    QString fontName;
    double pointSize = 0.0;
    bool bold = false;
    // As "#rrggbb".
    QString foregroundColor;

    bool operator==(const StyledTextRun &other) const = default;
};

// A styled text as the lists show it under an entry: runs of text, each with its font, size, weight and
// colour. It needs no text layout engine; a view paints the runs itself or shows toHtml() as rich text.
class StyledText
{
public:
    static inline const QString RegularFontName = QStringLiteral("Helvetica");
    static inline const QString BoldFontName = QStringLiteral("Helvetica-Bold");
    static inline const QString BlackColor = QStringLiteral("#000000");

    QList<StyledTextRun> runs;

    // The text without its styles.
    QString plainText() const;
    // The runs as HTML spans (the text escaped, line breaks as <br>), for views that show rich text.
    QString toHtml() const;

    // The detail line of a journal entry: `first` (bold when asked) followed by `separator` and `second`
    // in the regular font, all black at `pointSize`. Without a first text the second stands alone; with
    // neither there is no line.
    static std::optional<StyledText> detailText(bool boldFirst, const QString &first, const QString &second,
                                                const QString &separator, double pointSize);

    bool operator==(const StyledText &other) const = default;
};
