#include "settings/PortLists.h"

#include <vector>

namespace PortLists
{

namespace
{

std::vector<std::string_view> SplitAtCommas(std::string_view text)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t comma = text.find(','); comma != std::string_view::npos;
         comma = text.find(',', start)) {
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

} // namespace

std::optional<LineSettings> ParseLineSettings(std::string_view text)
{
    const std::vector<std::string_view> fields = SplitAtCommas(text);
    if (fields.size() != 4)
        return std::nullopt;
    const auto baud = kBaudRates.IndexOf(fields[0]);
    const auto parity = kParities.IndexOf(fields[1]);
    const auto bits = kDataBits.IndexOf(fields[2]);
    const auto stop = kStopBits.IndexOf(fields[3]);
    if (!baud || !parity || !bits || !stop)
        return std::nullopt;
    return LineSettings{kBaudRates.items[*baud].value, static_cast<Parity>(*parity),
                        kDataBits.items[*bits].value, kStopBits.items[*stop].value};
}

} // namespace PortLists
