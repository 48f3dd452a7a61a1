#include "config/HttpTextRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

void RecordPiece(const char* text, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(text);
}

TEST(DeliverPieceTest, HandsAPieceOnAsZeroTerminatedText) {
    std::vector<std::string> pieces;
    HttpTextRequest request;
    request.onText = RecordPiece;
    request.context = &pieces;
    DeliverPiece(request, "a=1\nb=2", 7);
    const char withZero[] = {'a', '=', '1', '\0', 'l', 'o', 's', 't'};
    DeliverPiece(request, withZero, sizeof withZero);
    EXPECT_EQ(pieces, (std::vector<std::string>{"a=1\nb=2", "a=1"}));
}

TEST(DeliverPieceTest, HandsAPieceLongerThanThePieceTextOnInParts) {
    std::string body(2 * kPieceTextSize + 10, 'x');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    std::vector<std::string> pieces;
    HttpTextRequest request;
    request.onText = RecordPiece;
    request.context = &pieces;
    DeliverPiece(request, body.data(), body.size());
    ASSERT_EQ(pieces.size(), 3u);
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_LT(piece.size(), kPieceTextSize);
        joined += piece;
    }
    EXPECT_EQ(joined, body);
}

TEST(DeliverPieceTest, WithoutASinkDropsThePiece) {
    HttpTextRequest request;
    DeliverPiece(request, "text", 4);
    EXPECT_EQ(request.pieceText.size(), kPieceTextSize);
}

// Without a connection (the host or port was unusable) no request can be made; WinINet's
// ERROR_INVALID_HANDLE, and nothing reaches the sink.
TEST(SendAndReadResponseTest, WithoutAConnectionFailsAtOnce) {
    std::vector<std::string> pieces;
    HttpTextRequest request;
    request.onText = RecordPiece;
    request.context = &pieces;
    EXPECT_EQ(SendAndReadResponse(request, L"/quarvex_fgt.ini?now"), 6u);
    EXPECT_TRUE(pieces.empty());
}

TEST(EscapeObjectNameTest, EscapesWhatCannotStandOnTheRequestLine) {
    EXPECT_EQ(EscapeObjectName("/quarvex_fgt.ini?Wed Jan 02 02:03:55 1980\n"),
              "/quarvex_fgt.ini?Wed%20Jan%2002%2002:03:55%201980%0A");
    EXPECT_EQ(EscapeObjectName("/a?x=1&y=%41#f\t\x7F\xEC\x84\xA4"), "/a?x=1&y=%41%23f%09%7F%EC%84%A4");
}

std::tm LocalTime(int year, int month, int day, int hour, int minute, int second, int weekday) {
    std::tm time{};
    time.tm_year = year - 1900;
    time.tm_mon = month - 1;
    time.tm_mday = day;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_wday = weekday;
    return time;
}

TEST(FormatTimeTextTest, WritesCtimeFormWithEnglishNames) {
    EXPECT_EQ(FormatTimeText(LocalTime(1980, 1, 2, 2, 3, 55, 3)), "Wed Jan 02 02:03:55 1980\n");
    EXPECT_EQ(FormatTimeText(LocalTime(2026, 12, 31, 23, 59, 59, 4)), "Thu Dec 31 23:59:59 2026\n");
}

}  // namespace
