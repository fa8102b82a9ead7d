#pragma once

#include "Mac/Shell/LayoutConstraint.h"

#include <QWidget>

#include <memory>

class QHBoxLayout;
class QLabel;
class QVBoxLayout;

// The data cell of the sectioned lists of logs and to-dos: a title row (title, location icon, location)
// over the note. The list sources adjust its measures per record and measure row heights with the note.
class CommonListCellView : public QWidget
{
    Q_OBJECT
public:
    explicit CommonListCellView(QWidget *parent = nullptr);
    ~CommonListCellView() override;

    QLabel *textField() const { return m_textField; }
    QLabel *locationIconView() const { return m_locationIcon; }
    QLabel *locationTextField() const { return m_locationText; }
    QLabel *noteTextField() const { return m_noteTextField; }

    LayoutConstraint *notesHeightConstraint() const { return m_notesHeight.get(); }
    LayoutConstraint *titleToLocationIconConstraint() const { return m_titleToLocationIcon.get(); }
    LayoutConstraint *locationIconWidthConstraint() const { return m_locationIconWidth.get(); }
    LayoutConstraint *locationIconToLabelConstraint() const { return m_locationIconToLabel.get(); }

    // Set by the lists for every cell they hand out (header cells: true); drawing does not use it.
    bool isLastRowInSection() const { return m_isLastRowInSection; }
    void setIsLastRowInSection(bool last) { m_isLastRowInSection = last; }

protected:
    // The title row, so a derived cell can add its own icons after the location.
    QHBoxLayout *titleRowLayout() const { return m_titleRow; }
    QVBoxLayout *cellLayout() const { return m_layout; }

private:
    QVBoxLayout *m_layout = nullptr;
    QHBoxLayout *m_titleRow = nullptr;
    QLabel *m_textField = nullptr;
    QLabel *m_locationIcon = nullptr;
    QLabel *m_locationText = nullptr;
    QLabel *m_noteTextField = nullptr;
    std::unique_ptr<LayoutConstraint> m_notesHeight;
    std::unique_ptr<LayoutConstraint> m_titleToLocationIcon;
    std::unique_ptr<LayoutConstraint> m_locationIconWidth;
    std::unique_ptr<LayoutConstraint> m_locationIconToLabel;
    bool m_isLastRowInSection = false;
};
