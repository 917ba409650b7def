#include "host/system_clock.h"

#include <QDateTime>

namespace fotolyx::host {

LocalTime SystemLocalClock::Now() const {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return LocalTime{date.year(), date.month(),  date.day(),
                     time.hour(), time.minute(), time.second()};
}

}  // namespace fotolyx::host
