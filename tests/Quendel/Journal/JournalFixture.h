#pragma once

#include "Classes/FilesListDataSource.h"
#include "Classes/LogsListDataSource.h"
#include "Classes/QDListDataSource.h"
#include "Classes/ToDosListDataSource.h"
#include "Mac/Journal/QDListItemModel.h"

#include "QuendelKit/Entities/AllEntities.h"
#include "QuendelKit/QuendelModel.h"

#include "platform/core/Clock.h"
#include "platform/store/ManagedObjectContext.h"
#include "platform/store/StoreCoordinator.h"

#include <QAbstractItemModelTester>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace journal_test {

// Every change a list model reports, one line each, with the state the list was in at that moment.
class RecordingDelegate : public QDListDataSourceDelegate
{
public:
    QDListDataSource *source = nullptr;
    QStringList events;
    // For a deleted row: whether it was still in its section while it was reported.
    bool rowPresentWhenDeleted = false;

    void updatedSourceObjects() override { events << QStringLiteral("U"); }
    void insertedNewSectionToSource(CommonListData *header, qint64 index) override
    {
        events << QStringLiteral("NS %1 @%2").arg(header->headerTitle()).arg(index);
    }
    void addedObject(CommonListData *, CommonListData *header, qint64 index) override
    {
        events << QStringLiteral("AR %1 @%2").arg(header->headerTitle()).arg(index);
    }
    void deletedSection(CommonListData *header, qint64 index) override
    {
        events << QStringLiteral("DS %1 @%2").arg(header->headerTitle()).arg(index);
    }
    void deletedObjectItem(CommonListData *row, qint64 section, quint64 index) override
    {
        rowPresentWhenDeleted = false;
        if (source && section < source->headersArray().size())
            for (const CommonListDataPtr &child : source->headersArray().at(section)->children())
                rowPresentWhenDeleted = rowPresentWhenDeleted || child.get() == row;
        events << QStringLiteral("DR %1 %2").arg(section).arg(index);
    }
    void moveObjectInSection(CommonListData *header, qint64 from, qint64 to) override
    {
        events << QStringLiteral("MS %1 %2->%3").arg(header->headerTitle()).arg(from).arg(to);
    }
    void moveObjectFromSection(CommonListData *from, CommonListData *to, qint64 fromHeader, qint64 toHeader,
                               qint64 fromRow, qint64 toRow) override
    {
        events << QStringLiteral("MX %1->%2 %3->%4 %5->%6")
                      .arg(from->headerTitle(), to->headerTitle())
                      .arg(fromHeader)
                      .arg(toHeader)
                      .arg(fromRow)
                      .arg(toRow);
    }
    bool respondsToUpdatedSourceObject() const override { return true; }
    void updatedSourceObjectWithHeaderIndex(qint64 h, qint64 r, CommonListData *) override
    {
        events << QStringLiteral("UP %1 %2").arg(h).arg(r);
    }

    QStringList take()
    {
        QStringList taken = events;
        events.clear();
        return taken;
    }
};

// A list model with its Qt adapter (checked by the model tester on every change) and a recorder behind it.
template <typename Source> struct ListHarness
{
    ListHarness(const platform::store::ContextPtr &context, Person *person)
        : source(context, person), model(&source), tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal)
    {
        recorder.source = &source;
        model.setForwardDelegate(&recorder);
        source.setDelegate(&model);
        source.initializeObserver();
    }

    // The section titles, and the rows of each as their notes or names, as the Qt model shows them.
    QStringList modelSections() const
    {
        QStringList titles;
        for (int s = 0; s < model.rowCount(); ++s)
            titles << model.itemForIndex(model.index(s, 0))->headerTitle();
        return titles;
    }
    QStringList sourceSections() const
    {
        QStringList titles;
        for (const CommonListDataPtr &header : source.headersArray())
            titles << header->headerTitle();
        return titles;
    }
    int modelRows(int section) const { return model.rowCount(model.index(section, 0)); }

    Source source;
    QDListItemModel model;
    QAbstractItemModelTester tester;
    RecordingDelegate recorder;
};

inline QString periodOf(const QDateTime &date)
{
    const QDate day = date.toLocalTime().date();
    return QString::number(day.year() * 1000 + day.month());
}

inline QDateTime day(int year, int month, int dayOfMonth, int hour = 12)
{
    return QDateTime(QDate(year, month, dayOfMonth), QTime(hour, 0), Qt::UTC);
}

// A fresh store file with a main-queue context, two contacts and a manual clock.
class JournalStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        clock = std::make_shared<platform::core::ManualClock>(day(2026, 3, 15, 9));
        platform::core::Clock::setCurrent(clock);
        ASSERT_TRUE(dir.isValid());
        model = QuendelModel::create();
        coordinator = openCoordinator();
        ASSERT_NE(coordinator, nullptr);
        context = newContext();
        alice = insertPerson(QStringLiteral("Alice"));
        bob = insertPerson(QStringLiteral("Bob"));
        save();
    }

    void TearDown() override
    {
        context.reset();
        coordinator.reset();
        platform::core::Clock::setCurrent(nullptr);
    }

    QString storePath() const { return dir.filePath(QStringLiteral("Quendel.sqlite")); }

    std::shared_ptr<platform::store::StoreCoordinator> openCoordinator()
    {
        auto made = std::make_shared<platform::store::StoreCoordinator>(model);
        platform::core::QDError error;
        if (!made->addPersistentStore(platform::store::StoreType::SQLite, storePath(), {}, &error)) {
            ADD_FAILURE() << error.toString().toStdString();
            return nullptr;
        }
        return made;
    }

    platform::store::ContextPtr newContext()
    {
        auto made = platform::store::ManagedObjectContext::create(
            platform::store::ManagedObjectContext::ConcurrencyType::MainQueue);
        made->setPersistentStoreCoordinator(coordinator);
        return made;
    }

    Person *insertPerson(const QString &name, const platform::store::ContextPtr &into = {})
    {
        auto *person = (into ? into : context)->insertNewObject<Person>(Person::EntityName);
        person->setDisplayName(name);
        person->setNormalizedDisplayName(name.toLower());
        return person;
    }

    static void setDate(Log *log, const QDateTime &date)
    {
        log->setLogDate(date);
        if (log->logSectionPeriod() != periodOf(date))
            log->setLogSectionPeriod(periodOf(date));
    }

    Log *insertLog(Person *person, const QDateTime &date, const QString &note = QString(),
                   const platform::store::ContextPtr &into = {})
    {
        auto *log = (into ? into : context)->insertNewObject<Log>(Log::EntityName);
        setDate(log, date);
        log->setLogNote(note);
        log->setPerson(person);
        return log;
    }

    void save(const platform::store::ContextPtr &which = {})
    {
        platform::core::QDError error;
        ASSERT_TRUE((which ? which : context)->save(&error)) << error.toString().toStdString();
    }

    QTemporaryDir dir;
    std::shared_ptr<platform::core::ManualClock> clock;
    std::shared_ptr<platform::store::ManagedObjectModel> model;
    std::shared_ptr<platform::store::StoreCoordinator> coordinator;
    platform::store::ContextPtr context;
    Person *alice = nullptr;
    Person *bob = nullptr;
};

} // namespace journal_test
