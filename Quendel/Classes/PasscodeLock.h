#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// The rules of the passcode lock that do not depend on a window: when coming back to the program asks for
// the passcode again, how the prompt judges an entry, and the choices of the relock interval.
namespace PasscodeLock {

inline const QString HintKey = QStringLiteral("passcode_hint");
inline const QString IntervalKey = QStringLiteral("require_pin_interval_setting");
inline const QString EnteredBackgroundKey = QStringLiteral("appEnteredBackgroundTime");
// The hint is offered from this many wrong entries on.
inline constexpr qint64 WrongEntriesBeforeHint = 5;
// What a new passcode starts with when no interval was chosen before.
inline constexpr qint64 FirstInterval = 60;

// The relock intervals in seconds and their titles, in menu order.
QList<qint64> supportedTimeValues();
QStringList supportedTimeStrings();
// The menu row of a stored interval: "Immediately" for an absent or zero one, -1 for one not offered.
int indexOfInterval(const QVariant &stored);

// Whether coming back to the program must show the lock: only with a passcode, and only once more than
// `intervalSeconds` passed since it went to the background (an unknown time counts as long ago).
bool requiresPasscode(bool passwordExists, qint64 intervalSeconds, const QDateTime &enteredBackground,
                      const QDateTime &now);

// How the prompt judged one entry.
enum class Entry { Accepted, Rejected };

// The prompt's count of wrong entries. Letter case counts and nothing is trimmed; with no stored passcode
// every entry is wrong.
class EntryCheck
{
public:
    Entry check(const QString &typed, const QString &stored);
    qint64 retryCount() const { return m_retryCount; }
    // Whether the hint is due now, given the stored hint.
    bool showsHint(const QString &hint) const { return m_retryCount >= WrongEntriesBeforeHint && !hint.isEmpty(); }

private:
    qint64 m_retryCount = 0;
};

// Stores a new passcode with its hint; on failure `errorText` holds what the user is told and nothing is
// stored. Empty fields and a mismatch are refused before the keychain is asked.
struct CreateResult
{
    bool saved = false;
    QString errorTitle;
    QString errorText;
};
CreateResult createPasscode(const QString &first, const QString &second, const QString &hint);
// Removes the passcode; false (and the passcode stays) when the keychain refuses.
bool removePasscode();
// Whether a passcode is stored now.
bool passcodeExists();
// The stored passcode; null when none or when the keychain cannot be read.
QString storedPasscode();

} // namespace PasscodeLock
