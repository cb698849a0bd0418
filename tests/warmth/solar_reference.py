#!/usr/bin/env python3
"""Reference sunrise, sunset and solar elevation from NOAA's general solar position
equations (fractional-year form), computed independently of the C++ code. The numbers
printed here are pasted into SolarMathTest.cpp.

Sunrise and sunset belong to a local calendar day: of the UTC dates around it, the
pair whose solar noon lies closest to the local day's noon is the day's pair."""
import math
from datetime import date, datetime, timedelta, timezone
from zoneinfo import ZoneInfo

ZENITH = math.radians(90.833)


def eqtime_decl(gamma):
    eq = 229.18 * (0.000075 + 0.001868 * math.cos(gamma) - 0.032077 * math.sin(gamma)
                   - 0.014615 * math.cos(2 * gamma) - 0.040849 * math.sin(2 * gamma))
    decl = (0.006918 - 0.399912 * math.cos(gamma) + 0.070257 * math.sin(gamma)
            - 0.006758 * math.cos(2 * gamma) + 0.000907 * math.sin(2 * gamma)
            - 0.002697 * math.cos(3 * gamma) + 0.00148 * math.sin(3 * gamma))
    return eq, decl


def pair_for_utc_date(d, lat, lon):
    gamma = 2 * math.pi / 365 * (d.timetuple().tm_yday - 1)
    eq, decl = eqtime_decl(gamma)
    phi = math.radians(lat)
    x = math.cos(ZENITH) / (math.cos(phi) * math.cos(decl)) - math.tan(phi) * math.tan(decl)
    midnight = datetime(d.year, d.month, d.day, tzinfo=timezone.utc)
    noon = midnight + timedelta(minutes=720 - 4 * lon - eq)
    if abs(x) > 1:
        return None, noon
    ha = math.degrees(math.acos(x))
    rise = midnight + timedelta(minutes=720 - 4 * (lon + ha) - eq)
    sset = midnight + timedelta(minutes=720 - 4 * (lon - ha) - eq)
    return (rise, sset), noon


def local_day_pair(local_date, tz, lat, lon):
    local_noon = datetime(local_date.year, local_date.month, local_date.day, 12, tzinfo=ZoneInfo(tz))
    best = None
    for k in (-1, 0, 1):
        d = local_date + timedelta(days=k)
        pair, noon = pair_for_utc_date(d, lat, lon)
        dist = abs((noon - local_noon).total_seconds())
        if best is None or dist < best[0]:
            best = (dist, pair)
    return best[1]


def elevation(instant, lat, lon):
    u = instant.astimezone(timezone.utc)
    minutes = u.hour * 60 + u.minute + u.second / 60
    gamma = 2 * math.pi / 365 * (u.timetuple().tm_yday - 1 + (minutes / 60 - 12) / 24)
    eq, decl = eqtime_decl(gamma)
    ha = (minutes + eq + 4 * lon) / 4 - 180
    while ha < -180: ha += 360
    while ha >= 180: ha -= 360
    phi = math.radians(lat)
    c = math.sin(phi) * math.sin(decl) + math.cos(phi) * math.cos(decl) * math.cos(math.radians(ha))
    return math.degrees(math.asin(max(-1, min(1, c))))


DAYS = [
    ("London midsummer", 51.5074, -0.1278, "Europe/London", date(2024, 6, 21)),
    ("London midwinter", 51.5074, -0.1278, "Europe/London", date(2024, 12, 21)),
    ("New York DST start", 40.7128, -74.0060, "America/New_York", date(2024, 3, 10)),
    ("Sydney summer", -33.8688, 151.2093, "Australia/Sydney", date(2024, 12, 21)),
    ("Sydney winter", -33.8688, 151.2093, "Australia/Sydney", date(2024, 6, 21)),
    ("Tokyo midsummer", 35.6762, 139.6503, "Asia/Tokyo", date(2024, 6, 21)),
    ("Quito equinox", -0.1807, -78.4678, "America/Guayaquil", date(2024, 3, 20)),
    ("Longyearbyen polar night", 78.2232, 15.6267, "Arctic/Longyearbyen", date(2024, 12, 21)),
    ("Longyearbyen polar day", 78.2232, 15.6267, "Arctic/Longyearbyen", date(2024, 6, 21)),
    ("Kiritimati (UTC+14)", 1.8721, -157.4278, "Pacific/Kiritimati", date(2024, 6, 21)),
    ("Apia (UTC+13)", -13.8333, -171.7667, "Pacific/Apia", date(2024, 1, 15)),
]

ELEVATIONS = [
    ("London noon", 51.5074, -0.1278, datetime(2024, 6, 21, 12, 0, 0, tzinfo=timezone.utc)),
    ("London evening", 51.5074, -0.1278, datetime(2024, 6, 21, 20, 30, 15, tzinfo=timezone.utc)),
    ("Sydney morning", -33.8688, 151.2093, datetime(2024, 12, 20, 21, 0, 0, tzinfo=timezone.utc)),
    ("Longyearbyen winter noon", 78.2232, 15.6267, datetime(2024, 12, 21, 11, 0, 0, tzinfo=timezone.utc)),
    ("Longyearbyen summer midnight", 78.2232, 15.6267, datetime(2024, 6, 21, 23, 0, 0, tzinfo=timezone.utc)),
    ("Kiritimati local noon", 1.8721, -157.4278, datetime(2024, 6, 20, 22, 30, 0, tzinfo=timezone.utc)),
]

if __name__ == "__main__":
    for name, lat, lon, tz, d in DAYS:
        pair = local_day_pair(d, tz, lat, lon)
        if pair is None:
            print(f"{name}: none")
        else:
            rise, sset = pair
            print(f"{name}: sunrise {int(rise.timestamp())} ({rise.astimezone(ZoneInfo(tz))})"
                  f"  sunset {int(sset.timestamp())} ({sset.astimezone(ZoneInfo(tz))})"
                  f"  exact {rise.timestamp():.3f} {sset.timestamp():.3f}")
    for name, lat, lon, t in ELEVATIONS:
        print(f"{name}: {int(t.timestamp())} elevation {elevation(t, lat, lon):.6f}")
