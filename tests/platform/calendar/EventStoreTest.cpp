#include "platform/calendar/EventStore.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <libical/ical.h>

using platform::calendar::Event;
using platform::calendar::EventStore;

namespace {

class EventStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        root = home.filePath(QStringLiteral("calendars"));
    }

    QString root;
    QTemporaryDir home;
};

QDateTime utc(int y, int m, int d, int h, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC);
}

} // namespace

TEST_F(EventStoreTest, AccessIsGrantedOnceTheFolderIsThereAndWritable)
{
    EXPECT_EQ(EventStore::authorizationStatus(root), EventStore::AuthorizationStatus::NotDetermined);
    ASSERT_TRUE(EventStore::requestAccess(root));
    EXPECT_EQ(EventStore::authorizationStatus(root), EventStore::AuthorizationStatus::Authorized);
    EventStore store(root);
    const auto calendar = store.defaultCalendarForNewEvents();
    ASSERT_TRUE(calendar.has_value());
    EXPECT_EQ(calendar->calendarIdentifier, QStringLiteral("calendar"));
    EXPECT_EQ(calendar->title, QStringLiteral("Calendar"));
    EXPECT_TRUE(calendar->allowsContentModifications);

    // A calendar marked read-only is not offered for new events and cannot be written.
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("shared")));
    QFile mark(QDir(root).filePath(QStringLiteral("shared/read-only")));
    ASSERT_TRUE(mark.open(QIODevice::WriteOnly));
    mark.close();
    Event event;
    event.calendarIdentifier = QStringLiteral("shared");
    event.startDate = utc(2026, 3, 20, 10);
    QString error;
    EXPECT_FALSE(store.saveEvent(event, &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(EventStoreTest, AnEventIsOneFileNamedAfterItsUidWithItsFieldsInICalendar)
{
    ASSERT_TRUE(EventStore::requestAccess(root));
    EventStore store(root);
    Event event;
    event.calendarIdentifier = QStringLiteral("calendar");
    event.title = QStringLiteral("Zoe Quill");
    event.startDate = utc(2026, 3, 20, 10);
    event.endDate = utc(2026, 3, 20, 11, 30);
    event.notes = QStringLiteral("Water the plants\nand the lawn; twice, please");
    event.location = QStringLiteral("Garden");
    ASSERT_TRUE(store.saveEvent(event));
    ASSERT_FALSE(event.externalIdentifier.isEmpty());
    EXPECT_EQ(event.eventIdentifier, QStringLiteral("calendar/") + event.externalIdentifier);
    const QString path = QDir(root).filePath(QStringLiteral("calendar/%1.ics").arg(event.externalIdentifier));
    EXPECT_EQ(store.filePathForEvent(event), path);
    EXPECT_EQ(QDir(QDir(root).filePath(QStringLiteral("calendar"))).entryList(QDir::Files | QDir::Hidden).size(), 2)
        << "the event and the calendar's display name, no temporary left";

    // Parsed back by libical itself.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    icalcomponent *calendar = icalparser_parse_string(text.constData());
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(icalcomponent_isa(calendar), ICAL_VCALENDAR_COMPONENT);
    icalcomponent *vevent = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT);
    ASSERT_NE(vevent, nullptr);
    EXPECT_EQ(QString::fromUtf8(icalcomponent_get_uid(vevent)), event.externalIdentifier);
    EXPECT_EQ(QString::fromUtf8(icalcomponent_get_summary(vevent)), QStringLiteral("Zoe Quill"));
    EXPECT_EQ(QString::fromUtf8(icalcomponent_get_description(vevent)), event.notes);
    EXPECT_EQ(QString::fromUtf8(icalcomponent_get_location(vevent)), QStringLiteral("Garden"));
    const icaltimetype start = icalcomponent_get_dtstart(vevent);
    EXPECT_TRUE(icaltime_is_utc(start));
    EXPECT_EQ(qint64(icaltime_as_timet(start)), utc(2026, 3, 20, 10).toSecsSinceEpoch());
    EXPECT_EQ(qint64(icaltime_as_timet(icalcomponent_get_dtend(vevent))), utc(2026, 3, 20, 11, 30).toSecsSinceEpoch());
    EXPECT_NE(icalcomponent_get_first_property(vevent, ICAL_CREATED_PROPERTY), nullptr);
    EXPECT_NE(icalcomponent_get_first_property(vevent, ICAL_LASTMODIFIED_PROPERTY), nullptr);
    icalcomponent_free(calendar);

    // Found again by UID, by local identifier and by time.
    ASSERT_TRUE(store.eventWithIdentifier(event.externalIdentifier).has_value());
    const auto found = store.eventWithIdentifier(event.eventIdentifier);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->startDate, event.startDate);
    EXPECT_EQ(found->endDate, event.endDate);
    EXPECT_EQ(found->notes, event.notes);
    EXPECT_EQ(store.events(utc(2026, 3, 20, 11), utc(2026, 3, 21, 0)).size(), 1);
    EXPECT_TRUE(store.events(utc(2026, 3, 21, 0), utc(2026, 3, 22, 0)).isEmpty());

    ASSERT_TRUE(store.removeEvent(*found));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(EventStoreTest, WhatOtherProgramsWriteIsReadKeptAndNoticed)
{
    ASSERT_TRUE(EventStore::requestAccess(root));
    EventStore store(root);
    QSignalSpy changed(&store, &EventStore::storeChanged);
    // Another program's file: a local time zone, a property of its own, a recurring master with an override.
    const QByteArray other = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n"
                             "BEGIN:VEVENT\r\nUID:other-1\r\nDTSTART;TZID=Europe/Berlin:20260320T100000\r\n"
                             "DTEND;TZID=Europe/Berlin:20260320T110000\r\nSUMMARY:Dentist\r\nRRULE:FREQ=WEEKLY\r\n"
                             "X-OTHER-FLAG:keep me\r\nEND:VEVENT\r\n"
                             "BEGIN:VEVENT\r\nUID:other-1\r\nRECURRENCE-ID;TZID=Europe/Berlin:20260327T100000\r\n"
                             "DTSTART;TZID=Europe/Berlin:20260327T120000\r\nDTEND;TZID=Europe/Berlin:20260327T130000\r\n"
                             "SUMMARY:Dentist moved\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    const QString path = QDir(root).filePath(QStringLiteral("calendar/other-1.ics"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(other);
    file.close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return changed.count() > 0; }, 5000));

    auto event = store.eventWithIdentifier(QStringLiteral("other-1"));
    ASSERT_TRUE(event.has_value());
    EXPECT_EQ(event->title, QStringLiteral("Dentist"));
    EXPECT_EQ(event->startDate, utc(2026, 3, 20, 9));
    EXPECT_EQ(event->endDate, utc(2026, 3, 20, 10));

    // Our change keeps what we do not know.
    event->endDate = utc(2026, 3, 20, 10, 30);
    ASSERT_TRUE(store.saveEvent(*event));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.contains(QStringLiteral("X-OTHER-FLAG:keep me")));
    EXPECT_TRUE(text.contains(QStringLiteral("RRULE:FREQ=WEEKLY")));
    EXPECT_TRUE(text.contains(QStringLiteral("Dentist moved")));
    EXPECT_EQ(store.eventWithIdentifier(QStringLiteral("other-1"))->endDate, utc(2026, 3, 20, 10, 30));

    // A damaged file is no event, and it breaks nothing else.
    QFile damaged(QDir(root).filePath(QStringLiteral("calendar/broken.ics")));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("BEGIN:VCALENDAR\r\nthis is not");
    damaged.close();
    EXPECT_FALSE(EventStore::readEventFile(damaged.fileName(), QStringLiteral("calendar")).has_value());
    EXPECT_EQ(store.events(utc(2026, 1, 1, 0), utc(2027, 1, 1, 0)).size(), 1);
}
