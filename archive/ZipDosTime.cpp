#include "archive/ZipDosTime.h"

#include <algorithm>

TDosDateTime SanitiseDosDateTime(TDosDateTime stored) {
    unsigned seconds2 = stored.time & 0x1F;
    unsigned minutes = (stored.time >> 5) & 0x3F;
    unsigned hours = (stored.time >> 11) & 0x1F;
    unsigned day = stored.date & 0x1F;
    unsigned month = (stored.date >> 5) & 0x0F;
    unsigned year = (stored.date >> 9) & 0x7F; // since 1980
    seconds2 = std::min(seconds2, 29u);
    minutes = std::min(minutes, 59u);
    hours = std::min(hours, 23u);
    day = std::max(day, 1u);
    month = std::clamp(month, 1u, 12u);
    year = std::min(year, 2099u - 1980u);
    TDosDateTime result;
    result.time = static_cast<std::uint16_t>(seconds2 | (minutes << 5) | (hours << 11));
    result.date = static_cast<std::uint16_t>(day | (month << 5) | (year << 9));
    return result;
}

TDosCalendar DosToCalendar(TDosDateTime value) {
    return TDosCalendar{
        1980 + ((value.date >> 9) & 0x7F), (value.date >> 5) & 0x0F, value.date & 0x1F,
        (value.time >> 11) & 0x1F,         (value.time >> 5) & 0x3F, (value.time & 0x1F) * 2};
}
