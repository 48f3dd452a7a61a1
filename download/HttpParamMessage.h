// The head of one HTTP message: start line, header fields, query parameters, body.
//
// The start line is held as three ordinary fields under the names "METHOD", "URI" and
// "VERSION". For a parsed status line they hold the version, the status code and the reason.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CHttpParamMessage {
  public:
    using Entries = std::vector<std::pair<std::string, std::string>>;

    CHttpParamMessage() = default;
    virtual ~CHttpParamMessage() = default;

    // Replaces the value of the first field whose name matches (ASCII letters folded),
    // keeping its stored name and place; otherwise appends the field.
    void SetField(std::string_view name, std::string_view value);
    // The value of the first matching field, or the empty text.
    std::string GetField(std::string_view name) const;
    // SetField's rule, applied to the query parameters.
    void SetParam(std::string_view name, std::string_view value);

    std::string GetMethod() const { return GetField("METHOD"); }
    std::string GetUri() const { return GetField("URI"); }
    std::string GetVersion() const { return GetField("VERSION"); }

    // The head as it goes on the wire: start line, fields, blank line.
    std::string Serialize() const;
    // Replaces fields, params and body with what text holds. False only for the empty text.
    bool Parse(std::string_view text);

    const Entries& Fields() const { return fields; }
    const Entries& Params() const { return params; }
    const std::string& Body() const { return body; }

  private:
    void ParseStartLine(std::string_view head);
    void ParseQuery(std::string_view query);

    Entries fields;
    Entries params;
    std::string body;
};
