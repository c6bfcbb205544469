#include "settings/engine_config.h"

#include <libconfig.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/path.h"

namespace {

class Config {
public:
    Config() { config_init(&config_); }
    ~Config() { config_destroy(&config_); }
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    config_t* get() { return &config_; }

private:
    config_t config_;
};

// Past this the file is no settings file, and libconfig 1.5 would take minutes over a
// long string: it is not parsed at all.
constexpr std::size_t kMaxConfigBytes = 1 << 20;

// Parses the file's text into config; false when it is missing, too large or malformed
// (config then holds what parsed before the error).
bool ParseConfig(Config& config, const std::string& path, std::string& text) {
    const auto size = RegularFileSize(path);
    if (!size || *size > kMaxConfigBytes) return false;
    auto bytes = ReadFileBytes(path);
    if (!bytes || bytes->size() > kMaxConfigBytes) return false;
    text = std::move(*bytes);
    return config_read_string(config.get(), text.c_str()) == CONFIG_TRUE;
}

bool IsNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '*';
}

// libconfig 1.5 wraps integer literals to 32 bits (4294967295 reads as -1), so the literal
// is read again from the setting's line; false when it does not fit.
bool LiteralFits32Bits(const std::string& text, const config_setting_t* member, const char* name) {
    std::size_t start = 0;
    for (int line = config_setting_source_line(member); line > 1 && start != std::string::npos;
         --line) {
        start = text.find('\n', start);
        if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) return true;
    const std::string line = text.substr(start, text.find('\n', start) - start);
    const std::size_t length = std::strlen(name);
    for (std::size_t at = line.find(name); at != std::string::npos; at = line.find(name, at + 1)) {
        if ((at > 0 && IsNameCharacter(line[at - 1])) ||
            (at + length < line.size() && IsNameCharacter(line[at + length]))) {
            continue;
        }
        std::size_t value = line.find_first_not_of(" \t", at + length);
        if (value == std::string::npos || (line[value] != '=' && line[value] != ':')) continue;
        value = line.find_first_not_of(" \t", value + 1);
        if (value == std::string::npos) return true;
        errno = 0;
        char* end = nullptr;
        const long long literal = std::strtoll(line.c_str() + value, &end, 0);
        return errno != ERANGE && literal >= std::numeric_limits<std::int32_t>::min() &&
               literal <= std::numeric_limits<std::int32_t>::max();
    }
    return true;
}

// libconfig turns a 64-bit int outside 32 bits into 0; such a value is not taken at all.
bool LookupInt32(const std::string& text, const config_setting_t* group, const char* name,
                 std::int32_t& value) {
    const config_setting_t* member = config_setting_get_member(group, name);
    if (member == nullptr) return false;
    if (config_setting_type(member) == CONFIG_TYPE_INT) {
        if (!LiteralFits32Bits(text, member, name)) return false;
        value = config_setting_get_int(member);
        return true;
    }
    if (config_setting_type(member) == CONFIG_TYPE_INT64) {
        const long long wide = config_setting_get_int64(member);
        if (wide < std::numeric_limits<std::int32_t>::min() ||
            wide > std::numeric_limits<std::int32_t>::max()) {
            return false;
        }
        value = static_cast<std::int32_t>(wide);
        return true;
    }
    return false;
}

bool LookupString(const config_setting_t* group, const char* name, std::string& value) {
    const char* text = nullptr;
    if (config_setting_lookup_string(group, name, &text) != CONFIG_TRUE) return false;
    value = text;
    return true;
}

config_setting_t* Member(config_setting_t* group, const char* name, int type) {
    config_setting_t* member = config_setting_get_member(group, name);
    return member != nullptr ? member : config_setting_add(group, name, type);
}

// A syntax error leaves the setting being parsed without a value, which libconfig would
// write as "???" and then never parse again.
void RemoveValuelessSettings(config_setting_t* parent) {
    for (int index = config_setting_length(parent) - 1; index >= 0; --index) {
        config_setting_t* child = config_setting_get_elem(parent, static_cast<unsigned>(index));
        // A float too large to hold reads as infinity, which libconfig writes as "inf.0"
        // and then never parses again either.
        if (config_setting_type(child) == CONFIG_TYPE_NONE ||
            (config_setting_type(child) == CONFIG_TYPE_FLOAT &&
             !std::isfinite(config_setting_get_float(child)))) {
            config_setting_remove_elem(parent, static_cast<unsigned>(index));
        } else if (config_setting_is_aggregate(child)) {
            RemoveValuelessSettings(child);
        }
    }
}

// Writes beside the file first, so that a failed write never leaves a truncated one.
void SaveReplacing(Config& config, const std::string& path) {
    const std::string temporary = path + ".tmp";
    UniqueFile file = OpenFile(temporary, "wt");
    if (!file) return;
    config_write(config.get(), file.get());
    const bool written = std::fflush(file.get()) == 0 && std::ferror(file.get()) == 0;
    const bool closed = std::fclose(file.release()) == 0;
    if (!written || !closed || !MoveFileOver(temporary, path)) RemoveFileIfPresent(temporary);
}

}  // namespace

RenderSettings& CurrentRenderSettings() {
    static RenderSettings settings;
    return settings;
}

std::string EngineConfigPath(const std::string& documentsDirectory) {
    if (documentsDirectory.empty()) return {};
    return JoinPath(JoinPath(JoinPath(documentsDirectory, "Kestrava"), "client"), "engine.cfg");
}

bool ReadEngineConfig(const std::string& path, RenderSettings& settings) {
    if (path.empty()) return false;
    Config config;
    std::string text;
    if (!ParseConfig(config, path, text)) return false;
    const config_setting_t* render = config_lookup(config.get(), "Render");
    if (render == nullptr) return false;

    // A "Render" that is not a group has no members, so every lookup below fails.
    LookupString(render, "Device", settings.device);
    LookupInt32(text, render, "Width", settings.width);
    LookupInt32(text, render, "Height", settings.height);
    double refreshRate = 0.0;
    if (config_setting_lookup_float(render, "RefreshRate", &refreshRate) == CONFIG_TRUE) {
        settings.refreshRate = static_cast<float>(refreshRate);
    }
    int flag = 0;
    // The older boolean setting; "FullscreenMode", read after it, wins when both exist.
    if (config_setting_lookup_bool(render, "ExclusiveFullscreen", &flag) == CONFIG_TRUE) {
        settings.fullscreenMode = flag ? kBorderless : kWindowed;
    }
    LookupInt32(text, render, "FullscreenMode", settings.fullscreenMode);
    if (config_setting_lookup_bool(render, "DisableVSync", &flag) == CONFIG_TRUE) {
        settings.disableVSync = flag != 0;
    }
    LookupInt32(text, render, "MaxFPS", settings.maxFps);
    if (!LookupString(render, "WindowPlacement", settings.windowPlacement)) {
        settings.windowPlacement.clear();
    }
    return true;
}

void WriteEngineConfig(const std::string& path, const RenderSettings& settings) {
    if (path.empty()) return;
    Config config;
    // A missing or broken file still yields a tree (empty, or what parsed before the
    // error), and the write goes on from it.
    std::string text;
    ParseConfig(config, path, text);
    RemoveValuelessSettings(config_root_setting(config.get()));
    config_setting_t* render =
        Member(config_root_setting(config.get()), "Render", CONFIG_TYPE_GROUP);
    // Members cannot be added to a "Render" that is not a group: leave the file alone.
    if (render == nullptr || config_setting_type(render) != CONFIG_TYPE_GROUP) return;

    config_setting_remove(render, "ExclusiveFullscreen");
    // Each setter refuses a member stored with another type, which then stays as it was.
    if (!settings.device.empty()) {
        config_setting_set_string(Member(render, "Device", CONFIG_TYPE_STRING),
                                  settings.device.c_str());
    }
    config_setting_set_int(Member(render, "Width", CONFIG_TYPE_INT), settings.width);
    config_setting_set_int(Member(render, "Height", CONFIG_TYPE_INT), settings.height);
    if (settings.refreshRate != 0.0f) {
        config_setting_set_float(Member(render, "RefreshRate", CONFIG_TYPE_FLOAT),
                                 settings.refreshRate);
    }
    config_setting_set_int(Member(render, "FullscreenMode", CONFIG_TYPE_INT),
                           settings.fullscreenMode);
    config_setting_set_bool(Member(render, "DisableVSync", CONFIG_TYPE_BOOL),
                            settings.disableVSync ? 1 : 0);
    config_setting_set_int(Member(render, "MaxFPS", CONFIG_TYPE_INT), settings.maxFps);
    if (!settings.windowPlacement.empty()) {
        config_setting_set_string(Member(render, "WindowPlacement", CONFIG_TYPE_STRING),
                                  settings.windowPlacement.c_str());
    }
    SaveReplacing(config, path);
}
