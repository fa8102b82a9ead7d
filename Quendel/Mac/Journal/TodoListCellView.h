#pragma once

#include "Mac/Journal/CommonListCellView.h"

#include <memory>

class QCheckBox;
class QLabel;

// The data cell of a to-do list: the common cell with a completion check box in front and the repeat,
// alarm and calendar icons after the location.
class TodoListCellView : public CommonListCellView
{
    Q_OBJECT
public:
    explicit TodoListCellView(QWidget *parent = nullptr);
    ~TodoListCellView() override;

    QCheckBox *todoCompleteButton() const { return m_todoCompleteButton; }
    QLabel *repeatImageView() const { return m_repeatImage; }
    QLabel *alarmImageView() const { return m_alarmImage; }
    QLabel *calendarImageView() const { return m_calendarImage; }

    LayoutConstraint *locationLabelToRepeatImageConstraint() const { return m_locationLabelToRepeatImage.get(); }
    LayoutConstraint *repeatImageWidthConstraint() const { return m_repeatImageWidth.get(); }
    LayoutConstraint *repeatImageToAlarmImageConstraint() const { return m_repeatImageToAlarmImage.get(); }
    LayoutConstraint *alarmImageWidthConstraint() const { return m_alarmImageWidth.get(); }
    LayoutConstraint *alarmImageToCalendarImageConstraint() const { return m_alarmImageToCalendarImage.get(); }
    LayoutConstraint *calendarImageWidthConstraint() const { return m_calendarImageWidth.get(); }

private:
    QCheckBox *m_todoCompleteButton = nullptr;
    QLabel *m_repeatImage = nullptr;
    QLabel *m_alarmImage = nullptr;
    QLabel *m_calendarImage = nullptr;
    std::unique_ptr<LayoutConstraint> m_locationLabelToRepeatImage;
    std::unique_ptr<LayoutConstraint> m_repeatImageWidth;
    std::unique_ptr<LayoutConstraint> m_repeatImageToAlarmImage;
    std::unique_ptr<LayoutConstraint> m_alarmImageWidth;
    std::unique_ptr<LayoutConstraint> m_alarmImageToCalendarImage;
    std::unique_ptr<LayoutConstraint> m_calendarImageWidth;
};
