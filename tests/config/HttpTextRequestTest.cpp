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

TEST(EscapeObjectNameTest, EscapesWhatCannotStandOnTheRequestLine) {
    EXPECT_EQ(EscapeObjectName("/quarvex_fgt.ini?Wed Jan 02 02:03:55 1980\n"),
              "/quarvex_fgt.ini?Wed%20Jan%2002%2002:03:55%201980%0A");
    EXPECT_EQ(EscapeObjectName("/a?x=1&y=%41#f\t\x7F\xEC\x84\xA4"), "/a?x=1&y=%41%23f%09%7F%EC%84%A4");
}

TEST(FormatTimeTextTest, WritesCtimeFormWithEnglishNames) {
    std::tm time{};
    time.tm_year = 80;
    time.tm_mon = 0;
    time.tm_mday = 2;
    time.tm_hour = 2;
    time.tm_min = 3;
    time.tm_sec = 55;
    time.tm_wday = 3;
    EXPECT_EQ(FormatTimeText(time), "Wed Jan 02 02:03:55 1980\n");
    time.tm_year = 126;
    time.tm_mon = 11;
    time.tm_mday = 31;
    time.tm_hour = 23;
    time.tm_min = 59;
    time.tm_sec = 59;
    time.tm_wday = 4;
    EXPECT_EQ(FormatTimeText(time), "Thu Dec 31 23:59:59 2026\n");
}

}  // namespace
