#include "tools/host/HostedPlugin.h"

#include <cctype>
#include <cstdio>

const char* PluginIdentity::FormatName() const {
    return format == PluginFormat::kVst2 ? "VST 2" : "VST 3";
}

bool PluginIdentity::Is(std::int32_t vst2UniqueId, const std::string& vst3ClassId) const {
    return format == PluginFormat::kVst2 ? id == Vst2IdText(vst2UniqueId) : id == vst3ClassId;
}

std::string PluginIdentity::Vst2IdText(std::int32_t uniqueId) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(uniqueId) >> shift) & 0xFF);
        if (c < 32 || c > 126) {
            char hex[16];
            std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(uniqueId));
            return hex;
        }
        s += c;
    }
    return "'" + s + "'";
}

std::string TrimmedText(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    return text.substr(b, e - b);
}
