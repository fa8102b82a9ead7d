#pragma once

#include "Mac/Journal/MacEditQDGenericListVC.h"
#include "platform/store/ManagedObjectContext.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class MacEditQDGenericListVC;
class QPushButton;

// The Manage Data pane of the preferences window: each button opens the list editor of one kind of the
// user's named records (log titles, to-do titles, saved places, custom fields, e-mail templates) as a sheet
// on the window, on the store's main context.
class ManageDataPreferencesPane : public QWidget
{
    Q_OBJECT
public:
    using ContextProvider = std::function<std::shared_ptr<platform::store::ManagedObjectContext>()>;

    static inline const QString PaneTitle = QStringLiteral("Manage Data");

    explicit ManageDataPreferencesPane(ContextProvider context, QWidget *parent = nullptr);
    ~ManageDataPreferencesPane() override;

    void manageLogTitlesButtonPressed();
    void manageToDoTitlesButtonPressed();
    void manageLocationsButtonPressed();
    void manageFieldsButtonPressed();
    void manageTemplatesButtonPressed();

    // The list editor on show (the last one opened).
    MacEditQDGenericListVC *editList() const { return m_editList; }

private:
    void showEditor(MacEditQDGenericListVC *editor, const QString &action);

    ContextProvider m_context;
    QPointer<MacEditQDGenericListVC> m_editList;
};
