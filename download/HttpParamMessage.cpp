#include "download/HttpParamMessage.h"

#include <algorithm>

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names match when they are equal after folding A-Z to a-z; every other byte must be equal.
bool NamesMatch(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldAscii(x) == FoldAscii(y);
           });
}

void SetEntry(CHttpParamMessage::Entries& entries, std::string_view name, std::string_view value) {
    for (auto& entry : entries) {
        if (NamesMatch(entry.first, name)) {
            entry.second.assign(value);
            return;
        }
    }
    entries.emplace_back(std::string(name), std::string(value));
}

std::string_view TrimSet(std::string_view text, std::string_view set) {
    const size_t first = text.find_first_not_of(set);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(set);
    return text.substr(first, last - first + 1);
}

std::string_view TrimSpaces(std::string_view text) {
    return TrimSet(text, " ");
}
// Line ends, tabs and spaces: what surrounds a token or a field value.
std::string_view TrimBlank(std::string_view text) {
    return TrimSet(text, "\r\n\t ");
}

// The pieces of text between runs of separator bytes; runs at either end give no piece.
template <typename Visit>
void ForEachPiece(std::string_view text, std::string_view separators, Visit visit) {
    size_t at = text.find_first_not_of(separators);
    while (at != std::string_view::npos) {
        const size_t end = text.find_first_of(separators, at);
        visit(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        if (end == std::string_view::npos) break;
        at = text.find_first_not_of(separators, end);
    }
}

}  // namespace

void CHttpParamMessage::SetField(std::string_view name, std::string_view value) {
    SetEntry(fields, name, value);
}

std::string CHttpParamMessage::GetField(std::string_view name) const {
    for (const auto& entry : fields) {
        if (NamesMatch(entry.first, name)) return entry.second;
    }
    return {};
}

void CHttpParamMessage::SetParam(std::string_view name, std::string_view value) {
    SetEntry(params, name, value);
}

std::string CHttpParamMessage::Serialize() const {
    std::string text = GetMethod() + " " + GetUri() + " " + GetVersion() + "\r\n";
    for (const auto& [name, value] : fields) {
        if (name == "METHOD" || name == "URI" || name == "VERSION") continue;
        text += name;
        text += ": ";
        text += value;
        text += "\r\n";
    }
    text += "\r\n";
    return text;
}

bool CHttpParamMessage::Parse(std::string_view text) {
    if (text.empty()) return false;
    fields.clear();
    params.clear();

    text = TrimSpaces(text);
    std::string_view head = text;
    body.clear();
    if (const size_t blank = text.find("\r\n\r\n"); blank != std::string_view::npos) {
        head = text.substr(0, blank + 2);
        body.assign(text.substr(blank + 4));
    }

    ParseStartLine(TrimSpaces(head));
    ForEachPiece(head, "\r\n", [this](std::string_view line) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        SetField(line.substr(0, colon), TrimBlank(line.substr(colon + 1)));
    });
    return true;
}

void CHttpParamMessage::ParseStartLine(std::string_view head) {
    const size_t lineEnd = head.find("\r\n");
    if (lineEnd == std::string_view::npos) return;
    std::vector<std::string_view> tokens;
    ForEachPiece(head.substr(0, lineEnd), " \t",
                 [&](std::string_view token) { tokens.push_back(token); });
    if (tokens.size() < 3) return;

    SetField("METHOD", TrimBlank(tokens[0]));
    const std::string_view target = TrimBlank(tokens[1]);
    if (const size_t question = target.find('?'); question != std::string_view::npos) {
        SetField("URI", target.substr(0, question));
        ParseQuery(target.substr(question + 1));
    } else {
        SetField("URI", target);
    }
    std::string version(TrimBlank(tokens[2]));
    for (size_t i = 3; i < tokens.size(); ++i) {
        version += ' ';
        version += TrimBlank(tokens[i]);
    }
    SetField("VERSION", version);
}

// name=value pairs separated by "&". Nothing is decoded; a piece without "=" becomes part of
// the next name, and one at the end is dropped.
void CHttpParamMessage::ParseQuery(std::string_view query) {
    size_t nameStart = 0;
    for (;;) {
        const size_t equals = query.find('=', nameStart);
        if (equals == std::string_view::npos) return;
        const std::string_view name = query.substr(nameStart, equals - nameStart);
        const size_t ampersand = query.find('&', equals + 1);
        if (ampersand == std::string_view::npos) {
            SetParam(name, query.substr(equals + 1));
            return;
        }
        SetParam(name, query.substr(equals + 1, ampersand - equals - 1));
        nameStart = ampersand + 1;
    }
}
