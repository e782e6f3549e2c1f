#pragma once
// Stored DOS dates and times: sanitising and splitting into calendar fields. Portable.

#include "archive/ZipFormat.h"

// A DOS date and time split into its calendar fields.
struct TDosCalendar {
    int year, month, day, hour, minute, second;
};

// Clamps every field into its valid range (seconds/2 <= 29, minutes <= 59, hours <= 23,
// day >= 1, month 1..12, year <= 2099); a valid value comes back unchanged.
TDosDateTime SanitiseDosDateTime(TDosDateTime stored);

// Splits a DOS date and time into calendar fields (year 1980..2107, seconds even).
TDosCalendar DosToCalendar(TDosDateTime value);
