#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>
#include <cstring>

#include "platform/text/detail/iconv_convert.h"
#include "platform/text/text.h"

namespace {

// The name setlocale(LC_TIME, "") would choose, read without touching the process's locale:
// the host program owns that, and a library must not change it under its feet.
std::string TimeLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"})
        if (const char* value = std::getenv(variable); value && *value)
            return value;
    return "C";
}

// One locale object per thread, made again only when the environment names another locale.
class TimeLocale {
  public:
    ~TimeLocale() {
        if (locale_)
            freelocale(locale_);
    }
    locale_t Get() {
        const std::string wanted = TimeLocaleName();
        if (!locale_ || wanted != name_) {
            if (locale_)
                freelocale(locale_);
            // A locale that is not installed falls back to the C conventions rather than to
            // no timestamp at all.
            locale_ = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, wanted.c_str(), nullptr);
            if (!locale_)
                locale_ = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, "C", nullptr);
            name_ = wanted;
        }
        return locale_;
    }

  private:
    locale_t locale_ = nullptr;
    std::string name_;
};

std::string Format(const char* format, const std::tm& when, locale_t locale) {
    char buffer[256];
    const size_t length = strftime_l(buffer, sizeof buffer, format, &when, locale);
    return std::string(buffer, length);
}

// strftime indexes its month and weekday name tables with the fields as they are; a record with
// a field out of range is carried over into range first (14th month -> February next year).
std::tm InRange(const std::tm& when) {
    const bool inRange = when.tm_sec >= 0 && when.tm_sec <= 60 && when.tm_min >= 0 &&
                         when.tm_min <= 59 && when.tm_hour >= 0 && when.tm_hour <= 23 &&
                         when.tm_mday >= 1 && when.tm_mday <= 31 && when.tm_mon >= 0 &&
                         when.tm_mon <= 11 && when.tm_wday >= 0 && when.tm_wday <= 6 &&
                         when.tm_yday >= 0 && when.tm_yday <= 365;
    if (inRange)
        return when;
    std::tm normal = when;
    timegm(&normal);  // normalises as a calendar date; no time zone is applied
    return normal;
}

}  // namespace

std::string LocaleTimestamp(const std::tm& original) {
    const std::tm when = InRange(original);
    thread_local TimeLocale timeLocale;
    const locale_t locale = timeLocale.Get();
    if (!locale)
        return {};
    std::string text = Format(nl_langinfo_l(D_FMT, locale), when, locale);
    if (when.tm_hour != 0 || when.tm_min != 0 || when.tm_sec != 0)
        text += ' ' + Format(nl_langinfo_l(T_FMT, locale), when, locale);

    // The locale writes in its own character set; the answer is UTF-8 whatever that is.
    const std::string codeset = nl_langinfo_l(CODESET, locale);
    if (codeset == "UTF-8" || codeset == "ANSI_X3.4-1968")
        return text;  // ASCII is UTF-8 too
    std::string utf8;
    if (korva::text::Convert("UTF-8", codeset, text, korva::text::SourceUnits::Bytes,
                             "\xEF\xBF\xBD", utf8))
        return utf8;
    return text;
}

std::string LocaleTimestampNow() {
    const time_t now = time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return LocaleTimestamp(local);
}
