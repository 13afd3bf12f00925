#include "UserSessionProtocol.h"

#include "InventoryReport.h"
#include "JsonText.h"
#include "Utf8.h"

namespace UserSessionProtocol {
namespace {

// Each line of a multi-line entry (the scan's) escaped on its own, so that the entry keeps its
// shape but no text can end a line of the root process's log early; a following line that would
// pass for a stamped entry of its own ("[2…") is indented by one space.
std::string visibleLines(std::string_view text) {
    std::string result;
    for (bool first = true;; first = false) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!first && line.size() > 1 && line[0] == '[' && line[1] >= '0' && line[1] <= '9') {
            result += ' ';
        }
        result += utf8::visible(line);
        if (end == std::string_view::npos) {
            return result;
        }
        result += '\n';
        text.remove_prefix(end + 1);
    }
}

std::optional<std::string> visibleString(const Json& value) {
    if (!value.is_string()) {
        return std::nullopt;
    }
    return utf8::visible(value.get_ref<const std::string&>());
}

std::optional<std::vector<std::string>> visibleStrings(const Json& value) {
    if (!value.is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> texts;
    for (const Json& element : value) {
        auto text = visibleString(element);
        if (!text) {
            return std::nullopt;
        }
        texts.push_back(std::move(*text));
    }
    return texts;
}

std::optional<InventoryItem> itemFrom(const Json& value) {
    if (!value.is_object() || value.size() != 6 || !value.contains("requiresAdmin") ||
        !value["requiresAdmin"].is_boolean() || !value.contains("informational") ||
        !value["informational"].is_boolean() || !value.contains("category") ||
        !value["category"].is_string()) {
        return std::nullopt;
    }
    const auto category = categoryFromRawValue(value["category"].get_ref<const std::string&>());
    auto id = value.contains("id") ? visibleString(value["id"]) : std::nullopt;
    auto title = value.contains("title") ? visibleString(value["title"]) : std::nullopt;
    auto detail = value.contains("detail") ? visibleString(value["detail"]) : std::nullopt;
    if (!category || !id || !title || !detail) {
        return std::nullopt;
    }
    return InventoryItem{std::move(*id),
                         *category,
                         std::move(*title),
                         std::move(*detail),
                         value["requiresAdmin"].get<bool>(),
                         value["informational"].get<bool>()};
}

} // namespace

std::string logLine(std::string_view message) {
    return jsonText(Json{{"log", std::string(message)}}) + "\n";
}

std::string sentencesLine(const std::vector<std::string>& sentences) {
    return jsonText(Json{{"sentences", sentences}}) + "\n";
}

std::string inventoryLine(const UninstallInventory& inventory) {
    Json items = Json::array();
    for (const InventoryItem& item : inventory.items) {
        items.push_back(InventoryReport::itemJson(item));
    }
    return jsonText(Json{{"inventory", std::move(items)}}) + "\n";
}

std::string errorLine(std::string_view message) {
    return jsonText(Json{{"error", std::string(message)}}) + "\n";
}

std::optional<Reply> parseReply(std::string_view line) {
    if (line.size() > longestLine) {
        return std::nullopt;
    }
    const Json value = Json::parse(line, nullptr, false);
    if (!value.is_object() || value.size() != 1) {
        return std::nullopt;
    }
    const auto only = value.begin();
    const std::string& key = only.key();
    const Json& content = only.value();
    Reply reply;
    if (key == "log" && content.is_string()) {
        reply.kind = Reply::Kind::log;
        reply.text = visibleLines(content.get_ref<const std::string&>());
    } else if (key == "error" && content.is_string()) {
        reply.kind = Reply::Kind::error;
        reply.text = utf8::visible(content.get_ref<const std::string&>());
    } else if (key == "sentences") {
        auto sentences = visibleStrings(content);
        if (!sentences) {
            return std::nullopt;
        }
        reply.kind = Reply::Kind::sentences;
        reply.sentences = std::move(*sentences);
    } else if (key == "inventory" && content.is_array()) {
        reply.kind = Reply::Kind::inventory;
        for (const Json& element : content) {
            auto item = itemFrom(element);
            if (!item) {
                return std::nullopt;
            }
            reply.inventory.items.push_back(std::move(*item));
        }
    } else {
        return std::nullopt;
    }
    return reply;
}

} // namespace UserSessionProtocol
