#include "liveries/cfg_lines.h"

#include <algorithm>
#include <fstream>
#include <unordered_map>

#include "foundation/encoding.h"
#include "foundation/files.h"
#include "foundation/text.h"

namespace vdl {

namespace {

bool lf_isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lf_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// `text` starts with the lower-case `word`, ignoring ASCII case.
bool lf_startsWithNoCase(std::string_view text, std::string_view word) {
    if (text.size() < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (lf_lower(text[i]) != word[i]) return false;
    return true;
}

size_t lf_skipBlanks(std::string_view text, size_t pos) {
    while (pos < text.size() && lf_isBlank(text[pos])) ++pos;
    return pos;
}

std::string_view lf_trimBlanks(std::string_view text) {
    const size_t start = lf_skipBlanks(text, 0);
    size_t end = text.size();
    while (end > start && lf_isBlank(text[end - 1])) --end;
    return text.substr(start, end - start);
}

void lf_upper(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

std::optional<std::string> lf_value(std::string_view line, std::string_view key) {
    const auto raw = gf_cfgRawValue(line, key);
    if (!raw) return std::nullopt;
    return gf_quoted(*raw);
}

// The simulator's own aircraft folders and their ICAO type codes.
const std::unordered_map<std::string_view, std::string_view>& lf_defaultAircraft() {
    static const std::unordered_map<std::string_view, std::string_view> table = {
        {"Asobo_FlightDesignCT", "FDCT"}, {"Asobo_Cap10C", "CP10"},
        {"Asobo_Longitude", "C700"},      {"Asobo_CJ4", "C25C"},
        {"Asobo_VL3", "VL3"},             {"Asobo_C152", "C152"},
        {"Asobo_Savage_Cub", "SAVG"},     {"Asobo_C152_Aerobat", "C152"},
        {"Asobo_Savage_ShockUltra", "SAVG"}, {"Asobo_C172sp_AS1000", "C172"},
        {"Asobo_XCub", "CC19"},           {"Asobo_C172sp_classic", "C172"},
        {"Asobo_Pitts", "PTS2"},          {"Asobo_Bonanza_G36", "BE36"},
        {"Asobo_SR22", "SR22"},           {"Asobo_Baron_G58", "B58T"},
        {"Asobo_Icon", "A5"},             {"Asobo_B747_8i", "B748"},
        {"Asobo_TBM930", "TBM9"},         {"Asobo_B787_10", "B78X"},
        {"Asobo_KingAir350", "B350"},     {"Asobo_208B_GRAND_CARAVAN_EX", "C208"},
        {"Asobo_E330", "E300"},           {"Asobo_A320_NEO", "A20N"},
        {"Asobo_DV20", "DV20"},           {"FlyByWire_A320_NEO", "A20N"},
        {"Asobo_DR400", "DR40"},          {"Asobo_DA40_TDI", "DA40"},
        {"Asobo_DA62", "DA62"},           {"Asobo_DA40_NG", "DA40"},
    };
    return table;
}

}  // namespace

CfgRead gf_cfgFromBytes(std::string bytes, CfgText& cfg) {
    const std::string_view raw = bytes;
    if (raw.starts_with("\xFF\xFE"))
        cfg.text = gf_utf16BytesToUtf8(raw.substr(2), false);
    else if (raw.starts_with("\xFE\xFF"))
        cfg.text = gf_utf16BytesToUtf8(raw.substr(2), true);
    else if (raw.starts_with("\xEF\xBB\xBF"))
        cfg.text = std::move(bytes.erase(0, 3));
    else if (gf_isValidUtf8(raw))
        cfg.text = std::move(bytes);
    else
        cfg.text = gf_mixedLinesToUtf8(raw);
    std::string().swap(bytes);  // the file's bytes go before the lines are made

    cfg.lines.clear();
    const std::string_view text = cfg.text;
    const size_t breaks = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    const size_t lineCount = breaks + (!text.empty() && !text.ends_with('\n') ? 1 : 0);
    if (lineCount > maxCfgLines) {
        cfg.text.clear();
        cfg.text.shrink_to_fit();
        return CfgRead::TooManyLines;
    }
    cfg.lines.reserve(std::max<size_t>(4048, lineCount));
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const size_t stop = end == std::string_view::npos ? text.size() : end;
        std::string_view line = text.substr(start, stop - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        cfg.lines.push_back(line);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return CfgRead::Ok;
}

CfgRead gf_readCfgFile(const std::filesystem::path& path, CfgText& cfg) {
    if (!gf_isRegularFile(path)) return CfgRead::CannotOpen;  // a FIFO would block the open
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    std::ifstream in(path, std::ios::binary);
    if (!in) return CfgRead::CannotOpen;
    if (ec) return CfgRead::ReadFailed;
    if (size > maxCfgBytes) return CfgRead::TooLarge;
    std::string bytes(static_cast<size_t>(size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.bad() || static_cast<uintmax_t>(in.gcount()) != size) return CfgRead::ReadFailed;
    return gf_cfgFromBytes(std::move(bytes), cfg);
}

std::optional<std::string_view> gf_cfgRawValue(std::string_view line, std::string_view key) {
    size_t pos = lf_skipBlanks(line, 0);
    if (!lf_startsWithNoCase(line.substr(pos), key)) return std::nullopt;
    pos = lf_skipBlanks(line, pos + key.size());
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    const std::string_view raw = lf_trimBlanks(line.substr(pos + 1));
    // The value is ".*\S": no line break inside it.
    if (raw.empty() || raw.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    return raw;
}

std::optional<std::string_view> gf_fltsimHeaderDigits(std::string_view line) {
    constexpr std::string_view open = "[fltsim.";
    size_t pos = lf_skipBlanks(line, 0);
    if (!lf_startsWithNoCase(line.substr(pos), open)) return std::nullopt;
    pos += open.size();
    const size_t digits = pos;
    while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') ++pos;
    if (pos == digits || pos >= line.size() || line[pos] != ']') return std::nullopt;
    if (lf_skipBlanks(line, pos + 1) != line.size()) return std::nullopt;
    return line.substr(digits, pos - digits);
}

bool gf_isCfgComment(std::string_view line) {
    const std::string_view rest = line.substr(lf_skipBlanks(line, 0));
    return rest.starts_with("//") || rest.starts_with(";");
}

std::string gf_sectionNumber(std::string_view line) {
    const size_t bracket = line.find('[');
    if (bracket == std::string_view::npos || line.starts_with("//")) return {};
    if (const auto digits = gf_fltsimHeaderDigits(line)) return std::string(*digits);
    if (line.find("[fltsim.", bracket) != std::string_view::npos ||
        line.find("[FLTSIM.", bracket) != std::string_view::npos)
        return "10000";
    return {};
}

bool gf_readTitle(std::string_view line, std::string& title) {
    auto value = lf_value(line, "title");
    if (!value) return false;
    if (!value->empty()) title = std::move(*value);
    return true;
}

std::string gf_icaoTypeDesignator(std::string_view line) {
    const auto value = lf_value(line, "icao_type_designator");
    if (!value) return {};
    std::string model(gf_utf8Prefix(*value, 4));
    lf_upper(model);
    return model;
}

std::string gf_baseContainerModel(std::string_view line) {
    const auto value = lf_value(line, "base_container");
    if (!value || value->size() < 3) return {};
    const auto& table = lf_defaultAircraft();
    const auto it = table.find(std::string_view(*value).substr(3));
    if (it == table.end()) return {};
    std::string model(it->second);
    lf_upper(model);
    return model;
}

bool gf_readIcaoAirline(std::string_view line, std::string& airline) {
    auto value = lf_value(line, "icao_airline");
    if (!value) return false;
    lf_upper(*value);
    airline = (value->empty() || *value == "ZZZZ") ? std::string("ZZZ") : std::move(*value);
    return true;
}

bool gf_readAtcId(std::string_view line, std::string& registration) {
    auto value = lf_value(line, "atc_id");
    if (!value || value->size() < 5) return false;
    registration = std::move(*value);
    return true;
}

bool gf_readParkingTypes(std::string_view line, std::string& types) {
    auto value = lf_value(line, "atc_parking_types");
    if (!value || value->empty()) return false;
    types = std::move(*value);
    return true;
}

bool gf_readTexture(std::string_view line, std::string& texture) {
    auto value = lf_value(line, "texture");
    if (!value) return false;
    texture = std::move(*value);
    return true;
}

bool gf_mentions(std::string_view line, std::string_view text) {
    return line.find(text) != std::string_view::npos && !gf_isCfgComment(line);
}

bool gf_hasControlByte(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return true;
    return false;
}

std::string gf_registrationItem(std::string_view item) {
    return std::string(gf_trimInvisible(item));
}

std::string_view gf_utf8Prefix(std::string_view text, size_t count) {
    if (text.size() <= count) return text;
    while (count > 0 && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) --count;
    return text.substr(0, count);
}

}  // namespace vdl
