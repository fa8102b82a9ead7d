#include "Mac/Journal/CommonListCellView.h"

#include "Mac/Shell/PlainTextLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSpacerItem>
#include <QVBoxLayout>

CommonListCellView::CommonListCellView(QWidget *parent) : QWidget(parent)
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(8, 4, 8, 4);
    m_layout->setSpacing(2);

    m_titleRow = new QHBoxLayout;
    m_titleRow->setSpacing(0);
    m_textField = new PlainTextLabel;
    m_textField->setObjectName(QStringLiteral("textField"));
    m_locationIcon = new PlainTextLabel;
    m_locationIcon->setObjectName(QStringLiteral("locationIconView"));
    m_locationText = new PlainTextLabel;
    m_locationText->setObjectName(QStringLiteral("locationTextField"));
    auto *titleToIcon = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    auto *iconToLabel = new QSpacerItem(0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    m_titleRow->addWidget(m_textField);
    m_titleRow->addSpacerItem(titleToIcon);
    m_titleRow->addWidget(m_locationIcon);
    m_titleRow->addSpacerItem(iconToLabel);
    m_titleRow->addWidget(m_locationText);
    m_titleRow->addStretch(1);
    m_layout->addLayout(m_titleRow);

    m_noteTextField = new PlainTextLabel;
    m_noteTextField->setObjectName(QStringLiteral("noteTextField"));
    m_noteTextField->setWordWrap(true);
    m_noteTextField->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_layout->addWidget(m_noteTextField);

    m_notesHeight = std::make_unique<LayoutConstraint>(m_noteTextField, LayoutConstraint::Kind::Height, 17);
    m_titleToLocationIcon = std::make_unique<LayoutConstraint>(m_titleRow, titleToIcon, 12);
    m_locationIconWidth = std::make_unique<LayoutConstraint>(m_locationIcon, LayoutConstraint::Kind::Width, 8);
    m_locationIconToLabel = std::make_unique<LayoutConstraint>(m_titleRow, iconToLabel, 4);
}

CommonListCellView::~CommonListCellView() = default;
