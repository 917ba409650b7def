#pragma once

namespace fotolyx {

struct LocalTime {
    int year = 2000;  // full year, e.g. 2002
    int month = 1;    // 1..12
    int day = 1;      // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The local date and time (uploads, Exif time stamps, proposed file names).
class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual LocalTime Now() const = 0;
};

}  // namespace fotolyx
