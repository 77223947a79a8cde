// The UTF-8 to UTF-16 stream buffer the console output of the Windows
// command line goes through, with a recording writer in place of
// WriteConsoleW.
#include "platform/utf16_output_buffer.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/text.h"

namespace kosmara {
namespace {

// Every piece the buffer hands on, in order.
struct Recorder {
    std::vector<std::u16string> pieces;
    bool fail = false;

    Utf16OutputBuffer::Writer Writer() {
        return [this](std::u16string_view text) {
            pieces.emplace_back(text);
            return !fail;
        };
    }
    std::u16string All() const {
        std::u16string all;
        for (const std::u16string& piece : pieces) all += piece;
        return all;
    }
};

TEST(Utf16OutputBufferTest, HoldsBackOnlyASequenceStillMissingBytes) {
    const struct {
        std::string_view text;
        std::size_t complete;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"Gr\xC3", 2},                  // ü cut after its first byte
        {"Gr\xC3\xBC", 4},
        {"\xE2\x82", 0},                // € cut after two of three bytes
        {"x\xE2\x82\xAC", 4},
        {"\xF0\x9F\x98", 0},            // a four-byte sequence cut after three
        {"x\xF0", 1},
        {"\xF0\x9F\x98\x80", 4},
        {"\xC3\x41", 2},                // a lead byte followed by no continuation: malformed now
        {"\xC0", 1},                    // bytes that start no sequence
        {"\xF5\x80", 2},
        {"\xFF", 1},
        {"\x80\x80\x80", 3},            // stray continuation bytes
        {"\xF0\x80\x80\x80\x80", 5},
    };
    for (const auto& c : cases) EXPECT_EQ(CompleteUtf8Length(c.text), c.complete) << ::testing::PrintToString(c.text);
}

// However the text is cut by flushes, the console gets what FromUtf8 makes
// of the whole: a character is never split, a malformed byte is U+FFFD.
TEST(Utf16OutputBufferTest, FlushesBetweenAnyTwoBytesChangeNothing) {
    const std::string_view texts[] = {
        "Datenübernahme aus Kosmara 3.5",
        "5 € für 😀, Grüße",
        "a\xFF\xC3",             // invalid byte, then a sequence never finished
        "\xE0\x80\x80x",         // overlong
        "\xED\xA0\x80!",         // an encoded surrogate
        "\xC3\xC3\xBC\xF0\x9F",  // a lead without its continuation before a good one
    };
    for (const std::string_view text : texts) {
        const std::u16string expected = FromUtf8(text);
        const bool wellFormed = expected.find(u'\uFFFD') == std::u16string::npos;
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            Recorder recorder;
            {
                Utf16OutputBuffer buffer(recorder.Writer());
                std::ostream stream(&buffer);
                stream << text.substr(0, cut) << std::flush << text.substr(cut) << std::flush;
            }
            EXPECT_EQ(recorder.All(), expected) << ::testing::PrintToString(text) << " cut at " << cut;
            if (wellFormed) {
                for (const std::u16string& piece : recorder.pieces)
                    EXPECT_EQ(piece.find(u'\uFFFD'), std::u16string::npos) << ::testing::PrintToString(text);
            }
        }
        // One byte at a time, each flushed (standard error is unit-buffered).
        Recorder recorder;
        {
            Utf16OutputBuffer buffer(recorder.Writer());
            std::ostream stream(&buffer);
            stream << std::unitbuf;
            for (const char byte : text) stream << byte;
        }
        EXPECT_EQ(recorder.All(), expected) << ::testing::PrintToString(text);
    }
}

TEST(Utf16OutputBufferTest, WritesAtLineEndsFlushesAndWhenFull) {
    Recorder recorder;
    {
        Utf16OutputBuffer buffer(recorder.Writer());
        std::ostream stream(&buffer);
        // A line is written as it ends, without a flush.
        stream << "1\tHoroskop\n";
        ASSERT_EQ(recorder.pieces, std::vector<std::u16string>{u"1\tHoroskop\n"});
        stream << '2' << '\n';
        ASSERT_EQ(recorder.pieces.back(), u"2\n");
        // The progress line: no line end, shown at the flush.
        stream << "\r12 von 28 Datensätzen";
        EXPECT_EQ(recorder.pieces.size(), 2u);
        stream << std::flush;
        EXPECT_EQ(recorder.pieces.back(), u"\r12 von 28 Datensätzen");
        // Long text without a line end is written before it is all there,
        // and an ä whose first byte fills the buffer stays whole.
        recorder.pieces.clear();
        stream << std::string(4095, 'x') << "\xC3";
        EXPECT_FALSE(recorder.pieces.empty());
        stream << "\xA4" << std::string(10000, 'y');
        stream << "\xE2\x82";  // the start of a € that never comes
    }
    EXPECT_EQ(recorder.All(), FromUtf8(std::string(4095, 'x') + "ä" + std::string(10000, 'y')) + u"\uFFFD\uFFFD");
}

TEST(Utf16OutputBufferTest, AFailedWriteMakesTheStreamBad) {
    Recorder recorder;
    recorder.fail = true;
    Utf16OutputBuffer buffer(recorder.Writer());
    std::ostream stream(&buffer);
    stream << "Zeile ohne Ende";
    EXPECT_TRUE(stream.good());
    stream << std::flush;
    EXPECT_TRUE(stream.bad());
    std::ostream lines(&buffer);
    lines << "Zeile\n";
    EXPECT_TRUE(lines.bad());
}

}  // namespace
}  // namespace kosmara
