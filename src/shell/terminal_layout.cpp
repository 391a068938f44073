#include "shell/terminal_layout.h"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "shell/ui_thread.h"

namespace vdl {

namespace {

using Values = std::vector<std::pair<std::string, std::string>>;

// The counters that say whether the program is connected; they lead the counters.
constexpr std::string_view connectionNames[] = {"simulator", "RealTraffic"};
constexpr std::string_view cellGap = "   ";
constexpr std::string_view commandsLine = "type: set NAME VALUE | press NAME | quit | help (the options)";

size_t lf_chars(std::string_view text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool lf_isConnection(std::string_view name) {
    return std::find(std::begin(connectionNames), std::end(connectionNames), name) != std::end(connectionNames);
}

// "name: value" cells side by side, as many as fit a line; empty values are left out.
std::vector<std::string> lf_flow(const Values& values, int columns) {
    std::vector<std::string> lines;
    std::string line;
    for (const auto& [name, value] : values) {
        if (value.empty()) continue;
        const std::string cell = fmt::format("{}: {}", name, value);
        if (!line.empty() && lf_chars(line) + cellGap.size() + lf_chars(cell) <= static_cast<size_t>(columns)) {
            line += cellGap;
            line += cell;
            continue;
        }
        if (!line.empty()) lines.push_back(gf_fitColumns(line, columns));
        line = cell;
    }
    if (!line.empty()) lines.push_back(gf_fitColumns(line, columns));
    return lines;
}

// Appends the block when it fits the rows left; else, when `partly`, as much as fits with a
// last line saying how much is left out. Answers whether the whole block was appended.
bool lf_append(std::vector<std::string>& out, const std::vector<std::string>& block, size_t room, bool partly,
               int columns) {
    if (block.empty()) return true;
    if (block.size() <= room) {
        out.insert(out.end(), block.begin(), block.end());
        return true;
    }
    if (!partly || room < 2) return false;
    out.insert(out.end(), block.begin(), block.begin() + static_cast<long>(room - 1));
    out.push_back(gf_fitColumns(
        fmt::format("~ {} more lines: a taller terminal shows them", block.size() - (room - 1)), columns));
    return false;
}

// One page of the options by name under a line saying which page of how many it is.
void lf_appendHelpPage(std::vector<std::string>& out, const std::vector<std::string>& help, size_t room, int page,
                       int columns) {
    if (room < 2 || help.empty()) return;
    const size_t perPage = room - 1;
    const size_t pages = (help.size() + perPage - 1) / perPage;
    const size_t shown = std::clamp<size_t>(static_cast<size_t>(std::max(1, page)), 1, pages);
    out.push_back(gf_fitColumns(
        fmt::format("-- options {} of {}: set NAME VALUE | press NAME | help N: page N --", shown, pages), columns));
    const size_t first = (shown - 1) * perPage;
    for (size_t i = first; i < std::min(help.size(), first + perPage); ++i) out.push_back(gf_fitColumns(help[i], columns));
}

}  // namespace

std::vector<std::string> gf_layoutEnding(int rows, int columns, const WindowText& text,
                                         const std::vector<std::string>& ending) {
    columns = std::max(1, columns);
    Values connections;
    Values counters;
    for (const auto& value : text.counters) (lf_isConnection(value.first) ? connections : counters).push_back(value);
    std::vector<std::string> out{gf_fitColumns(text.title, columns), gf_fitColumns(text.status, columns)};
    if (!text.error.empty()) out.push_back(gf_fitColumns(text.error, columns));
    for (auto& line : lf_flow(connections, columns)) out.push_back(std::move(line));
    for (auto& line : lf_flow(counters, columns)) out.push_back(std::move(line));
    for (const auto& line : ending) out.push_back(gf_fitColumns(line, columns));
    const size_t most = static_cast<size_t>(std::max(1, rows));
    if (out.size() > most) out.erase(out.begin(), out.end() - static_cast<long>(most));
    return out;
}

std::vector<std::string> gf_optionHelpLines(const WindowText& text) {
    std::vector<std::string> lines = text.optionNames;
    for (const WindowButton button : {WindowButton::FlushStatic, WindowButton::ShowReservedStand})
        lines.push_back(fmt::format("{}  <button>", gf_buttonCaption(button)));
    return lines;
}

std::string gf_fitColumns(std::string_view text, int columns) {
    const size_t most = static_cast<size_t>(std::max(1, columns));
    if (lf_chars(text) <= most) return std::string(text);
    std::string out;
    size_t chars = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts && ++chars == most) break;
        out += text[i];
    }
    out += '~';
    return out;
}

std::vector<std::string> gf_layoutTerminal(int rows, int columns, const WindowText& text,
                                           const TerminalExtras& extras) {
    columns = std::max(1, columns);
    const size_t avail = static_cast<size_t>(std::max(1, rows - terminalInputRows));
    Values connections;
    Values counters;
    for (const auto& value : text.counters) (lf_isConnection(value.first) ? connections : counters).push_back(value);

    std::vector<std::string> out;
    out.push_back(gf_fitColumns(text.title, columns));
    out.push_back(gf_fitColumns(text.status, columns));
    out.push_back(gf_fitColumns(text.error, columns));
    for (auto& line : lf_flow(connections, columns)) out.push_back(std::move(line));
    for (const auto& line : extras.footer) out.push_back(gf_fitColumns(line, columns));
    for (auto& line : lf_flow(counters, columns)) out.push_back(std::move(line));
    if (out.size() > avail) out.erase(out.begin());  // the title goes first
    if (out.size() >= avail) {
        out.resize(avail);
        return out;
    }

    std::vector<std::string> options{gf_fitColumns("-- options --", columns)};
    for (const auto& row : text.optionRows) options.push_back(gf_fitColumns(row, columns));
    for (auto& line : lf_flow(text.optionValues, columns)) options.push_back(std::move(line));
    std::vector<std::string> statistics = lf_flow(text.statistics, columns);
    if (!statistics.empty()) statistics.insert(statistics.begin(), gf_fitColumns("-- statistics --", columns));

    // The commands' line is the last one, when a row is left for it.
    const size_t room = avail - out.size() - 1;
    if (extras.optionsAsked) {
        lf_appendHelpPage(out, gf_optionHelpLines(text), room, extras.helpPage, columns);
    } else {
        lf_append(out, statistics, room, true, columns);
        lf_append(out, options, avail - 1 - out.size(), false, columns);
    }
    if (extras.commands && out.size() < avail) out.push_back(gf_fitColumns(commandsLine, columns));
    return out;
}

}  // namespace vdl
