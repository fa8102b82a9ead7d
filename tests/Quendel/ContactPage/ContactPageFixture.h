#pragma once

#include "Mac/ContactPage/ContactInfoViewControllerMac.h"
#include "QuendelKit/Entities/EntityStoreFixture.h"

#include "platform/ui/AlertPresenter.h"

namespace quendel::test {

// A store, a main context on it, and the alert presenter answering ahead instead of showing anything.
class ContactPageTest : public EntityStoreTest
{
protected:
    void SetUp() override
    {
        EntityStoreTest::SetUp();
        platform::ui::AlertPresenter::shared().clearAnswers();
        platform::ui::AlertPresenter::shared().clearShownAlerts();
        platform::ui::AlertPresenter::shared().setBlockingForbidden(true);
    }
    void TearDown() override
    {
        platform::ui::AlertPresenter::shared().clearAnswers();
        EntityStoreTest::TearDown();
    }

    Person *storedPerson(const QString &first, const std::function<void(Person *)> &fill = {})
    {
        auto *person = insert<Person>();
        person->setFirstName(first);
        if (fill)
            fill(person);
        save(context);
        return person;
    }

    // The contacts as a fresh context reads them from the file.
    QList<Person *> storedPersons(platform::store::ContextPtr &fresh)
    {
        fresh = newContext();
        return Person::getAllPersonsWithContext(fresh.get());
    }

    QStringList alertTitles() const
    {
        QStringList titles;
        for (const platform::ui::ShownAlert &alert : platform::ui::AlertPresenter::shared().shownAlerts())
            titles.append(alert.spec.messageText);
        return titles;
    }
};

} // namespace quendel::test
