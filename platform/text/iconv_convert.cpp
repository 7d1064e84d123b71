#include "platform/text/detail/iconv_convert.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>

namespace korva::text {

namespace {

const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

// Opening a descriptor costs far more than a short conversion and conversions run in every
// acquisition cycle, so each thread keeps the ones it used. A descriptor is not safe to share
// between threads, hence per thread rather than per process.
class DescriptorCache {
  public:
    ~DescriptorCache() {
        for (auto& [names, descriptor] : descriptors_)
            if (descriptor != kNoDescriptor)
                iconv_close(descriptor);
    }
    iconv_t Get(const std::string& to, const std::string& from) {
        auto key = std::make_pair(to, from);
        auto found = descriptors_.find(key);
        if (found != descriptors_.end())
            return found->second;
        // A failure is remembered too: an unknown name stays unknown.
        const iconv_t descriptor = iconv_open(to.c_str(), from.c_str());
        descriptors_.emplace(std::move(key), descriptor);
        return descriptor;
    }

  private:
    std::map<std::pair<std::string, std::string>, iconv_t> descriptors_;
};

iconv_t Descriptor(const std::string& to, const std::string& from) {
    thread_local DescriptorCache cache;
    return cache.Get(to, from);
}

size_t SkipLength(std::string_view rest, SourceUnits units) {
    if (units == SourceUnits::Bytes || rest.size() < 2)
        return 1;
    char16_t first = 0;
    std::memcpy(&first, rest.data(), 2);
    if (first >= 0xD800 && first <= 0xDBFF && rest.size() >= 4) {
        char16_t second = 0;
        std::memcpy(&second, rest.data() + 2, 2);
        if (second >= 0xDC00 && second <= 0xDFFF)
            return 4;  // a pair the target lacks
    }
    return 2;
}

}  // namespace

const char* NativeUtf16() {
    return std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
}

bool CanConvert(const std::string& to, const std::string& from) {
    return Descriptor(to, from) != kNoDescriptor;
}

bool Convert(const std::string& to, const std::string& from, std::string_view input,
             SourceUnits units, std::string_view replacement, std::string& output) {
    output.clear();
    const iconv_t descriptor = Descriptor(to, from);
    if (descriptor == kNoDescriptor)
        return false;
    iconv(descriptor, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state

    output.resize(input.size() * 2 + 16);
    size_t used = 0;
    char* in = const_cast<char*>(input.data());  // iconv's interface is not const-correct
    size_t inLeft = input.size();
    auto room = [&](size_t need) {
        if (output.size() - used < need)
            output.resize(std::max(output.size() * 2, used + need));
    };
    while (inLeft > 0) {
        char* out = output.data() + used;
        size_t outLeft = output.size() - used;
        const size_t result = iconv(descriptor, &in, &inLeft, &out, &outLeft);
        used = static_cast<size_t>(out - output.data());
        if (result != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG) {
            room(output.size());
            continue;
        }
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // EILSEQ: not valid in the source, or no form in the target; EINVAL: cut off at the end.
        const size_t skip = std::min(SkipLength({in, inLeft}, units), inLeft);
        room(replacement.size() + 16);
        std::memcpy(output.data() + used, replacement.data(), replacement.size());
        used += replacement.size();
        in += skip;
        inLeft -= skip;
    }
    // Stateful targets end with the sequence that returns to their initial state.
    for (;;) {
        room(16);
        char* out = output.data() + used;
        size_t outLeft = output.size() - used;
        const size_t result = iconv(descriptor, nullptr, nullptr, &out, &outLeft);
        used = static_cast<size_t>(out - output.data());
        if (result == static_cast<size_t>(-1) && errno == E2BIG) {
            room(output.size());
            continue;
        }
        break;
    }
    output.resize(used);
    return true;
}

}  // namespace korva::text
