#include "Mac/Preferences/ManageDataPreferencesPane.h"

#include "Mac/Journal/MacEditLocationsListWC.h"
#include "Mac/Journal/MacEditQDGenericListVC.h"
#include "SharedAppGlobals.h"


#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {
QPushButton *addRow(QGridLayout *grid, int row, const QString &title, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(title, parent);
    button->setAccessibleName(title);
    grid->addWidget(button, row, 0);
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    grid->addWidget(label, row, 1);
    return button;
}
} // namespace

ManageDataPreferencesPane::ManageDataPreferencesPane(ContextProvider context, QWidget *parent)
    : QWidget(parent), m_context(std::move(context))
{
    setAccessibleName(PaneTitle);
    auto *grid = new QGridLayout(this);
    connect(addRow(grid, 0, QStringLiteral("Log Titles…"), QStringLiteral("Rename, reorder or remove the titles of logs"), this),
            &QPushButton::clicked, this, &ManageDataPreferencesPane::manageLogTitlesButtonPressed);
    connect(addRow(grid, 1, QStringLiteral("ToDo Titles…"), QStringLiteral("Rename, reorder or remove the titles of to-dos"), this),
            &QPushButton::clicked, this, &ManageDataPreferencesPane::manageToDoTitlesButtonPressed);
    connect(addRow(grid, 2, QStringLiteral("Locations…"), QStringLiteral("Rename, reorder or remove saved places"), this),
            &QPushButton::clicked, this, &ManageDataPreferencesPane::manageLocationsButtonPressed);
    connect(addRow(grid, 3, QStringLiteral("Fields…"), QStringLiteral("Create, edit, reorder or remove custom fields"), this),
            &QPushButton::clicked, this, &ManageDataPreferencesPane::manageFieldsButtonPressed);
    connect(addRow(grid, 4, QStringLiteral("Templates…"), QStringLiteral("Rename, reorder or remove e-mail templates"), this),
            &QPushButton::clicked, this, &ManageDataPreferencesPane::manageTemplatesButtonPressed);
    grid->setRowStretch(5, 1);
}

ManageDataPreferencesPane::~ManageDataPreferencesPane() = default;

void ManageDataPreferencesPane::showEditor(MacEditQDGenericListVC *editor, const QString &action)
{
    m_editList = editor;
    if (!action.isEmpty())
        SharedAppGlobals::sharedAppGlobals().logAnalyticsEvent(QStringLiteral("PreferencesAction"),
                                                               {{QStringLiteral("Action"), action}});
    editor->beginSheetOnWindow(window());
}

void ManageDataPreferencesPane::manageLogTitlesButtonPressed()
{
    if (auto context = m_context ? m_context() : nullptr)
        showEditor(new MacEditQDGenericListVC(context, MacEditQDGenericListVC::NibName, QStringLiteral("LogTitle"),
                                              QStringLiteral("title"), QStringLiteral("displayOrder")),
                   QStringLiteral("ManageLogTitles"));
}

void ManageDataPreferencesPane::manageToDoTitlesButtonPressed()
{
    if (auto context = m_context ? m_context() : nullptr)
        showEditor(new MacEditQDGenericListVC(context, MacEditQDGenericListVC::NibName, QStringLiteral("ToDoTitle"),
                                              QStringLiteral("title"), QStringLiteral("displayOrder")),
                   QStringLiteral("ManageTodoTitles"));
}

void ManageDataPreferencesPane::manageLocationsButtonPressed()
{
    if (auto context = m_context ? m_context() : nullptr)
        showEditor(new MacEditLocationsListWC(context, QStringLiteral("Location"), QStringLiteral("locationName"),
                                              QStringLiteral("displayOrder"), QStringLiteral("locationAddress")),
                   QStringLiteral("ManageLocationsTitles"));
}

void ManageDataPreferencesPane::manageFieldsButtonPressed()
{
    if (auto context = m_context ? m_context() : nullptr)
        showEditor(new MacEditLocationsListWC(context, QStringLiteral("FormFields"), QStringLiteral("formFieldName"),
                                              QStringLiteral("formFieldDisplayOrder"),
                                              QStringLiteral("fieldtype.fieldTypeName")),
                   QStringLiteral("ManageFieldsTitles"));
}

void ManageDataPreferencesPane::manageTemplatesButtonPressed()
{
    if (auto context = m_context ? m_context() : nullptr)
        showEditor(new MacEditLocationsListWC(context, QStringLiteral("EmailTemplate"), QStringLiteral("templateName"),
                                              QStringLiteral("displayOrder"), QStringLiteral("Text")),
                   QString());
}
