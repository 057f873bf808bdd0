#pragma once

#include <cstdint>

// Calendar dates and times as counts from 1970-01-01 (proleptic Gregorian), for log times that
// carry no zone and for the UTC times the map files want.

struct CivilTime {
    int year;
    int month;  // 1-12
    int day;    // 1-31
    int hour;   // 0-23
    int minute; //
    int second; //
};

int DaysInMonth(int year, int month);
int64_t DaysFromCivil(int year, int month, int day);
// 0 is Sunday, as SYSTEMTIME's wDayOfWeek counts.
int Weekday(int64_t days);
int64_t SecondsFromCivil(const CivilTime& time);
CivilTime CivilFromSeconds(int64_t seconds);
