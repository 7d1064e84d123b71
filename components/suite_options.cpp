#include "components/suite_options.h"

#include <charconv>
#include <limits>
#include <optional>

#include "platform/kernel/kernel.h"
#include "platform/registry/registry.h"

TQNOptions SuiteOptions;

namespace {

constexpr const char* kGeneralSettings = "General Settings";

// The value's text read as a decimal integer: optional leading blanks, an optional sign and
// digits, nothing after them, within 32 bits.
std::optional<int32_t> DecimalInteger(std::string_view text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos)
        return std::nullopt;
    text.remove_prefix(i);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9')
        return std::nullopt;
    int64_t magnitude = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

// Reads the values of the open "General Settings" key; every reader falls back to its default.
class SettingsReader {
  public:
    explicit SettingsReader(const TRegistry* key) : key_(key) {}

    std::string Text(const char* name, const std::string& fallback) const {
        if (!key_)
            return fallback;
        const std::optional<RegValue> value = key_->ReadValue(name);
        if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ))
            return fallback;
        return value->text;
    }

    int32_t Number(const char* name, int32_t fallback) const {
        if (!key_)
            return fallback;
        const std::optional<RegValue> value = key_->ReadValue(name);
        if (!value)
            return fallback;
        switch (value->type) {
            case REG_SZ:
            case REG_EXPAND_SZ:
                return DecimalInteger(value->text).value_or(fallback);
            case REG_DWORD:
                return static_cast<int32_t>(static_cast<uint32_t>(value->number));
            case REG_QWORD: {
                const auto wide = static_cast<int64_t>(value->number);
                if (wide < std::numeric_limits<int32_t>::min() ||
                    wide > std::numeric_limits<int32_t>::max())
                    return fallback;
                return static_cast<int32_t>(wide);
            }
            default:
                return fallback;
        }
    }

    uint8_t Byte(const char* name, uint8_t fallback) const {
        return static_cast<uint8_t>(Number(name, fallback) & 0xFF);
    }

    bool Boolean(const char* name, bool fallback) const {
        return Number(name, fallback ? 1 : 0) != 0;
    }

  private:
    const TRegistry* key_;
};

}  // namespace

const char* SuiteSettingsKey(SuiteVersion version) {
    return version == SuiteVersion::Quintor7 ? "Software\\Felmaran\\Quintor 7"
                                             : "Software\\Felmaran\\Quintor 8";
}

TQNOptions ReadSuiteOptions(SuiteVersion version) {
    TQNOptions options;
    options.TempPath = GetTempPath();

    TRegistry registry(KEY_ALL_ACCESS);
    registry.SetRootKey(HKEY_CURRENT_USER);
    // The settings key is opened with full access and created when missing. Where the registry
    // refuses that (a key that allows reading only), the settings are still read; where even
    // reading fails, every field keeps its default.
    bool open = registry.OpenKey(SuiteSettingsKey(version), true);
    if (!open)
        open = registry.OpenKeyReadOnly(SuiteSettingsKey(version));
    // The loader only reads, so the subkey needs no more than reading rights.
    const bool general = open && registry.OpenKeyReadOnly(kGeneralSettings);
    const SettingsReader read(general ? &registry : nullptr);

    options.AutoInfoOpen = read.Boolean("Auto Info Open", options.AutoInfoOpen);
    options.AutoInfoSave = read.Boolean("Auto Info Save", options.AutoInfoSave);
    options.CreateBakFiles = read.Boolean("Create Bak Files", options.CreateBakFiles);
    options.TooltipHelp = read.Boolean("Tooltip Help", options.TooltipHelp);
    options.DefaultUser = read.Text("Default User", options.DefaultUser);
    options.DefaultDepartment = read.Text("Default Department", options.DefaultDepartment);
    options.TempPath = read.Text("Temp Path", options.TempPath);
    options.DefaultLineWidth = read.Byte("Default Line Width", options.DefaultLineWidth);
    options.DefaultGridMode = read.Byte("Default Grid Mode", options.DefaultGridMode);
    options.DefaultFloatWidth = read.Byte("Default Float Width", options.DefaultFloatWidth);
    options.DefaultFloatPrecision =
        read.Byte("Default Float Precision", options.DefaultFloatPrecision);
    options.DefaultFloatNotation =
        read.Byte("Default Float Notation", options.DefaultFloatNotation);
    for (int i = 0; i < 16; ++i) {
        const std::string name = "Default Color " + std::to_string(i);
        options.DefaultColors[i] = read.Number(name.c_str(), options.DefaultColors[i]);
    }
    registry.CloseKey();
    return options;
}

void LoadSuiteOptions(SuiteVersion version) {
    SuiteOptions = ReadSuiteOptions(version);
}

void ReleaseSuiteOptions() {
    SuiteOptions = TQNOptions();
}
