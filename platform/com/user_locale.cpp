#include "platform/com/detail/user_locale.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include <cstdlib>

#include "platform/text/text.h"

namespace korva::com::detail {
namespace {

std::string EnvironmentKey(const char* category) {
    std::string key;
    for (const char* name : {"LC_ALL", category, "LANG"}) {
        const char* value = std::getenv(name);
        key += value ? value : "";
        key += '\x1f';
    }
    return key;
}

// One category's locale object, re-created when the environment names another locale. Kept per
// thread so that conversions on different threads never wait for each other.
class CachedLocale {
  public:
    CachedLocale(int mask, const char* category) : mask_(mask), category_(category) {}
    ~CachedLocale() {
        if (locale_)
            freelocale(locale_);
    }
    CachedLocale(const CachedLocale&) = delete;
    CachedLocale& operator=(const CachedLocale&) = delete;

    // True when the locale changed since the last call.
    bool Refresh() {
        std::string key = EnvironmentKey(category_);
        if (locale_ && key == key_)
            return false;
        key_ = std::move(key);
        if (locale_)
            freelocale(locale_);
        // A locale that is not installed falls back to the "C" conventions.
        locale_ = newlocale(mask_, "", locale_t(0));
        if (!locale_)
            locale_ = newlocale(mask_, "C", locale_t(0));
        return true;
    }
    locale_t Get() const { return locale_; }

  private:
    int mask_;
    const char* category_;
    std::string key_;
    locale_t locale_ = locale_t(0);
};

struct NumericCache {
    CachedLocale locale{LC_NUMERIC_MASK, "LC_NUMERIC"};
    std::u16string separator = u".";
};

struct TimeCache {
    CachedLocale locale{LC_TIME_MASK, "LC_TIME"};
    std::string dateFormat;
    std::string timeFormat;
};

TimeCache& UserTime() {
    thread_local TimeCache cache;
    if (cache.locale.Refresh()) {
        const char* d = cache.locale.Get() ? nl_langinfo_l(D_FMT, cache.locale.Get()) : nullptr;
        const char* t = cache.locale.Get() ? nl_langinfo_l(T_FMT, cache.locale.Get()) : nullptr;
        cache.dateFormat = d && *d ? d : "%m/%d/%y";
        cache.timeFormat = t && *t ? t : "%H:%M:%S";
    }
    return cache;
}

}  // namespace

const std::u16string& UserDecimalSeparator() {
    thread_local NumericCache cache;
    if (cache.locale.Refresh()) {
        const char* radix =
            cache.locale.Get() ? nl_langinfo_l(RADIXCHAR, cache.locale.Get()) : nullptr;
        cache.separator = radix && *radix ? Utf8ToUtf16(radix) : u".";
    }
    return cache.separator;
}

std::u16string FormatUserDateTime(const std::tm& when, DateParts parts) {
    TimeCache& time = UserTime();
    std::string format = parts == DateParts::Time   ? time.timeFormat
                         : parts == DateParts::Date ? time.dateFormat
                                                    : time.dateFormat + " " + time.timeFormat;
    char buffer[256];
    const size_t length =
        strftime_l(buffer, sizeof buffer, format.c_str(), &when, time.locale.Get());
    return Utf8ToUtf16(std::string_view(buffer, length));
}

std::optional<std::tm> ParseUserDateTime(std::string_view text, DateParts* parts) {
    TimeCache& time = UserTime();
    const std::string input(text);
    struct Form {
        std::string format;
        DateParts parts;
    };
    const Form forms[] = {
        {time.dateFormat + " " + time.timeFormat, DateParts::DateAndTime},
        {time.dateFormat, DateParts::Date},
        {time.timeFormat, DateParts::Time},
        {"%Y-%m-%d %H:%M:%S", DateParts::DateAndTime},
        {"%Y-%m-%d %H:%M", DateParts::DateAndTime},
        {"%Y-%m-%d", DateParts::Date},
        {"%H:%M:%S", DateParts::Time},
        {"%H:%M", DateParts::Time},
    };
    for (const Form& form : forms) {
        std::tm tm{};
        const char* end = strptime_l(input.c_str(), form.format.c_str(), &tm, time.locale.Get());
        if (!end || *end != '\0')
            continue;
        if (form.parts == DateParts::Time) {
            tm.tm_year = 1899 - 1900;
            tm.tm_mon = 11;
            tm.tm_mday = 30;
        }
        if (parts)
            *parts = form.parts;
        return tm;
    }
    return std::nullopt;
}

}  // namespace korva::com::detail
