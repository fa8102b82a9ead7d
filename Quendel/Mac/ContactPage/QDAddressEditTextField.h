#pragma once

#include <QLineEdit>

// A field of the parts of an address. It knows whether it is being edited, and it reports every end of
// an edit (Return, or the focus leaving it) with editingFinished, also when the text did not change, so
// that the page always gets to store the address part.
class QDAddressEditTextField : public QLineEdit
{
    Q_OBJECT
public:
    explicit QDAddressEditTextField(QWidget *parent = nullptr);

    bool isEditingField() const { return m_isEditingField; }
    void setIsEditingField(bool editing) { m_isEditingField = editing; }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    bool m_isEditingField = false;
    bool m_reported = false;
};
