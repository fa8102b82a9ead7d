#pragma once

#include "QuendelKit/StoreTestBase.h"

#include "QuendelKit/Infra/QDLog.h"

#include <mutex>

namespace quendel::test {

// A fresh "Quendel" store file, a main-queue context on it and a manual clock.
class EntityStoreTest : public StoreTestBase
{
protected:
    void SetUp() override
    {
        clock = std::make_shared<platform::core::ManualClock>();
        platform::core::Clock::setCurrent(clock);
        ASSERT_TRUE(dir.isValid());
        model = QuendelModel::create();
        coordinator = std::make_shared<platform::store::StoreCoordinator>(model);
        platform::core::QDError error;
        ASSERT_TRUE(coordinator->addPersistentStore(platform::store::StoreType::SQLite, storePath(), {}, &error))
            << error.toString().toStdString();
        context = newContext();
    }

    QString storePath() const { return dir.filePath(QStringLiteral("Quendel.sqlite")); }

    platform::store::ContextPtr newContext(const QString &name = {})
    {
        auto created = mainQueueContext(coordinator);
        if (!name.isNull())
            created->setName(name);
        return created;
    }

    // The same record as a fresh context reads it from the file.
    template <typename T> T *reread(const platform::store::ManagedObject *object, platform::store::ContextPtr &fresh)
    {
        if (!fresh)
            fresh = newContext();
        return dynamic_cast<T *>(fresh->objectWithID(object->objectID()));
    }
};

// Keeps every activity-log line, so a test can see what was logged.
class CapturingLogger : public QDLogger
{
public:
    static std::shared_ptr<CapturingLogger> install()
    {
        auto logger = std::make_shared<CapturingLogger>();
        QDLog::addLogger(logger);
        return logger;
    }

    QStringList lines()
    {
        QDLog::flushLog();
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

protected:
    void writeLine(const QDLogMessage &message, const QString &, bool) override
    {
        std::lock_guard lock(m_mutex);
        m_lines.append(message.message);
    }

private:
    std::mutex m_mutex;
    QStringList m_lines;
};

} // namespace quendel::test
