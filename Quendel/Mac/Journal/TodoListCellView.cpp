#include "Mac/Journal/TodoListCellView.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

TodoListCellView::TodoListCellView(QWidget *parent) : CommonListCellView(parent)
{
    m_todoCompleteButton = new QCheckBox;
    m_todoCompleteButton->setObjectName(QStringLiteral("todoCompleteButton"));
    titleRowLayout()->insertWidget(0, m_todoCompleteButton);

    // The icons go before the stretch that ends the title row.
    QHBoxLayout *row = titleRowLayout();
    const int end = row->count() - 1;
    auto *locationToRepeat = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    auto *repeatToAlarm = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    auto *alarmToCalendar = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_repeatImage = new PlainTextLabel;
    m_repeatImage->setObjectName(QStringLiteral("repeatImageView"));
    m_alarmImage = new PlainTextLabel;
    m_alarmImage->setObjectName(QStringLiteral("alarmImageView"));
    m_calendarImage = new PlainTextLabel;
    m_calendarImage->setObjectName(QStringLiteral("calendarImageView"));
    row->insertSpacerItem(end, locationToRepeat);
    row->insertWidget(end + 1, m_repeatImage);
    row->insertSpacerItem(end + 2, repeatToAlarm);
    row->insertWidget(end + 3, m_alarmImage);
    row->insertSpacerItem(end + 4, alarmToCalendar);
    row->insertWidget(end + 5, m_calendarImage);

    m_locationLabelToRepeatImage = std::make_unique<LayoutConstraint>(row, locationToRepeat, 10);
    m_repeatImageWidth = std::make_unique<LayoutConstraint>(m_repeatImage, LayoutConstraint::Kind::Width, 12);
    m_repeatImageToAlarmImage = std::make_unique<LayoutConstraint>(row, repeatToAlarm, 8);
    m_alarmImageWidth = std::make_unique<LayoutConstraint>(m_alarmImage, LayoutConstraint::Kind::Width, 12);
    m_alarmImageToCalendarImage = std::make_unique<LayoutConstraint>(row, alarmToCalendar, 8);
    m_calendarImageWidth = std::make_unique<LayoutConstraint>(m_calendarImage, LayoutConstraint::Kind::Width, 12);
}

TodoListCellView::~TodoListCellView() = default;
