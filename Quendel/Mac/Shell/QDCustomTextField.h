#pragma once

#include <QLineEdit>

// A text field whose natural width follows its text while the user types in it (the company name on the
// contact page) and keeps the width it had when editing ended.
class QDCustomTextField : public QLineEdit
{
    Q_OBJECT
public:
    explicit QDCustomTextField(QWidget *parent = nullptr);

    bool isEditing() const { return m_isEditing; }
    QSize lastIntrinsicSize() const { return m_lastIntrinsicSize; }
    bool hasLastIntrinsicSize() const { return m_hasLastIntrinsicSize; }

    QSize sizeHint() const override;
    // The natural size: kept while not editing; while editing, as wide as the typed text.
    QSize intrinsicContentSize() const;

private:
    void textDidBeginEditing();
    void textDidEndEditing();
    void textDidChange();

    bool m_isEditing = false;
    mutable QSize m_lastIntrinsicSize;
    mutable bool m_hasLastIntrinsicSize = false;
};
