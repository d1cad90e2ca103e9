// SPDX-License-Identifier: MIT
// Throughput of keloutil's text conversions next to glibc iconv, ICU and,
// when the program is built with Qt 5, QString.
//
// Five generated corpora of about 1 MiB of UTF-8 each go through four
// operations, each done by every implementation in the same run:
//   set_from_utf16le  UTF-16LE -> UTF-8, into a reused destination
//   set_from_utf32    UTF-32   -> UTF-8, into a reused destination
//   get_utf16le       UTF-8    -> UTF-16LE, into a preallocated destination
//   alloc_utf16le     UTF-8    -> UTF-16LE, into a new block every time
// Every benchmark counts the corpus's UTF-8 size as its bytes processed, so
// the MB/s figures compare across operations and corpora. Before timing,
// each benchmark checks its implementation's output once against the
// expected bytes and stops the program when they differ.
//
// Benchmarks are named "<operation>/<corpus>/<implementation>"; after the
// run a summary table gives keloutil's throughput relative to each peer.
#include "bench_support.hpp"

#include <keloutil/keloutil.h>

#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unicode/ustring.h>

#ifdef KELOUTIL_BENCH_QT
#include <QByteArray>
#include <QString>
#include <QStringView>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// The UTF-16 and UTF-32 forms are kept in host order and handed to the
// peers as UTF-16LE and UTF-32LE.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the corpora assume a little-endian host");

const char* const program_name = "keloutil_bench_convert";

namespace {

constexpr size_t corpus_bytes = size_t{1} << 20; // UTF-8 size of each corpus

// ---- corpora ----------------------------------------------------------------

size_t utf8_width(char32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

void append_utf8(std::string& out, char32_t c) {
    static const unsigned char lead_marks[5] = {0, 0x00, 0xC0, 0xE0, 0xF0};
    const size_t width = utf8_width(c);
    char bytes[4];
    for (size_t i = width - 1; i > 0; --i) {
        bytes[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    bytes[0] = static_cast<char>(lead_marks[width] | c);
    out.append(bytes, width);
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
        return;
    }
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
}

struct Corpus {
    std::string name;
    std::string utf8;     // without a terminator
    std::u16string utf16; // host order
    std::u32string utf32; // host order
    size_t non_ascii = 0; // characters above U+007F
};

// Text made of chunks from `append_chunk`, cut to at most corpus_bytes of
// UTF-8, in all three forms. The chunks never hold U+0000, which would end
// a conversion early.
template <class AppendChunk>
Corpus make_corpus(const char* name, uint64_t seed, AppendChunk append_chunk) {
    Prng prng(seed);
    Corpus corpus;
    corpus.name = name;
    std::u32string& text = corpus.utf32;
    size_t bytes = 0;
    while (bytes < corpus_bytes) {
        const size_t from = text.size();
        append_chunk(prng, text);
        for (size_t i = from; i < text.size(); ++i) bytes += utf8_width(text[i]);
    }
    while (bytes > corpus_bytes) {
        bytes -= utf8_width(text.back());
        text.pop_back();
    }
    for (char32_t c : text) {
        append_utf8(corpus.utf8, c);
        append_utf16(corpus.utf16, c);
        corpus.non_ascii += c >= 0x80;
    }
    return corpus;
}

char32_t ascii_letter(Prng& prng) { return U'a' + prng.below(26); }

// One letter in ten is accented: é è ê à â ç ë ï ô ö ü ä ß ø å ñ í ó ú æ.
char32_t european_letter(Prng& prng) {
    static const char32_t accented[] = {0xE9, 0xE8, 0xEA, 0xE0, 0xE2, 0xE7, 0xEB, 0xEF, 0xF4, 0xF6,
                                        0xFC, 0xE4, 0xDF, 0xF8, 0xE5, 0xF1, 0xED, 0xF3, 0xFA, 0xE6};
    return prng.one_in(10) ? accented[prng.below(std::size(accented))] : ascii_letter(prng);
}

// A word of 2 to 10 letters, sometimes followed by a comma or full stop,
// then a space or, one time in twelve, a line break.
void append_word(Prng& prng, std::u32string& text, char32_t (*letter)(Prng&)) {
    const uint32_t length = 2 + prng.below(9);
    for (uint32_t i = 0; i < length; ++i) text.push_back(letter(prng));
    if (prng.one_in(10)) text.push_back(prng.one_in(2) ? U',' : U'.');
    text.push_back(prng.one_in(12) ? U'\n' : U' ');
}

// A phrase of 4 to 30 ideographs from U+4E00..U+9FFF, sometimes in corner
// brackets, closed by an ideographic comma or full stop and now and then an
// ideographic space or a line break.
void append_cjk_phrase(Prng& prng, std::u32string& text) {
    const bool quoted = prng.one_in(8);
    if (quoted) text.push_back(0x300C);
    const uint32_t length = 4 + prng.below(27);
    for (uint32_t i = 0; i < length; ++i) text.push_back(0x4E00 + prng.below(0x9FFF - 0x4E00 + 1));
    if (quoted) text.push_back(0x300D);
    text.push_back(prng.one_in(3) ? 0x3002 : 0x3001);
    if (prng.one_in(8)) text.push_back(0x3000);
    if (prng.one_in(6)) text.push_back(U'\n');
}

// ASCII words in which one character in ten becomes an emoji from
// U+1F300..U+1F64F (four UTF-8 bytes, a surrogate pair in UTF-16).
void append_emoji_words(Prng& prng, std::u32string& text) {
    const size_t from = text.size();
    append_word(prng, text, ascii_letter);
    for (size_t i = from; i < text.size(); ++i) {
        if (prng.one_in(10)) text[i] = 0x1F300 + prng.below(0x1F64F - 0x1F300 + 1);
    }
}

// ---- the mixed corpus: multilingual prose -----------------------------------
//
// Paragraphs of sentences made of real words, one language per paragraph:
// English; French, German and Spanish with their accented letters; Russian;
// Chinese and Japanese; and now and then an emoji after a sentence. The
// weights below give about 70 % ASCII characters (50 % of the bytes).

struct Language {
    const std::u32string_view* words;
    size_t word_count;
    bool spaced;      // words separated by spaces (Chinese and Japanese are not)
    char32_t comma;   // after a word inside a sentence
    char32_t ends[3]; // full stop, question mark, exclamation mark
    uint32_t weight;  // paragraphs in 100
};

constexpr std::u32string_view english_words[] = {
    U"the", U"of", U"and", U"to", U"a", U"in", U"is", U"that", U"it", U"was", U"for", U"on", U"with",
    U"as", U"by", U"this", U"from", U"at", U"which", U"but", U"be", U"are", U"have", U"not", U"they",
    U"you", U"one", U"all", U"were", U"we", U"when", U"there", U"can", U"their", U"time", U"people",
    U"year", U"way", U"day", U"work", U"world", U"life", U"new", U"first", U"city", U"water", U"house",
    U"after", U"before", U"between", U"under", U"during", U"because", U"always", U"never", U"often",
    U"small", U"large", U"long", U"important", U"information", U"development", U"system", U"program",
    U"language", U"report", U"market", U"question", U"history", U"morning", U"evening", U"river",
    U"mountain", U"it's", U"don't", U"2024", U"15"};

constexpr std::u32string_view french_words[] = {
    U"le", U"la", U"les", U"de", U"des", U"et", U"un", U"une", U"est", U"à", U"été", U"très", U"déjà",
    U"où", U"français", U"élève", U"forêt", U"château", U"garçon", U"fenêtre", U"bibliothèque", U"café",
    U"rue", U"maison", U"ville", U"après", U"être", U"leçon", U"ça", U"hôpital", U"théâtre", U"naïf",
    U"cœur", U"sœur", U"voilà", U"première", U"année", U"deux", U"nous", U"vous", U"avec", U"pour",
    U"dans", U"sur", U"pas", U"plus", U"mais", U"temps", U"travail", U"jour"};

constexpr std::u32string_view german_words[] = {
    U"der", U"die", U"das", U"und", U"ist", U"nicht", U"ein", U"eine", U"mit", U"für", U"über",
    U"schön", U"Straße", U"Mädchen", U"Grüße", U"größer", U"Äpfel", U"müssen", U"können", U"Brücke",
    U"Bäcker", U"Stadt", U"Haus", U"Zeit", U"Jahr", U"heute", U"morgen", U"während", U"weiß", U"Größe",
    U"Übung", U"Tür", U"früh", U"spät", U"Küche", U"auch", U"noch", U"sehr", U"wir", U"sie", U"Arbeit",
    U"Welt", U"Wasser", U"immer"};

constexpr std::u32string_view spanish_words[] = {
    U"el", U"la", U"los", U"las", U"de", U"y", U"en", U"que", U"un", U"una", U"es", U"año", U"niño",
    U"mañana", U"canción", U"también", U"está", U"más", U"así", U"después", U"información", U"corazón",
    U"árbol", U"pequeño", U"señor", U"ciudad", U"música", U"teléfono", U"rápido", U"fácil", U"difícil",
    U"película", U"por", U"para", U"con", U"muy", U"pero", U"sí", U"él", U"tú", U"casa", U"tiempo",
    U"agua", U"mundo"};

constexpr std::u32string_view russian_words[] = {
    U"и", U"в", U"не", U"на", U"я", U"что", U"он", U"с", U"как", U"это", U"по", U"но", U"они", U"мы",
    U"все", U"был", U"так", U"город", U"время", U"человек", U"работа", U"слово", U"дом", U"жизнь",
    U"вода", U"книга", U"сегодня", U"хорошо", U"очень", U"большой", U"новый", U"первый", U"год",
    U"день", U"рука", U"место", U"друг", U"дорога", U"утро", U"вечер", U"страна", U"язык", U"история",
    U"вопрос", U"школа", U"ещё", U"её"};

constexpr std::u32string_view chinese_words[] = {
    U"我们", U"今天", U"天气", U"很好", U"中国", U"学习", U"工作", U"朋友", U"时间", U"问题", U"城市",
    U"发展", U"经济", U"文化", U"历史", U"世界", U"人民", U"生活", U"已经", U"可以", U"因为", U"所以",
    U"但是", U"我", U"你", U"他", U"的", U"是", U"在", U"了", U"有", U"和", U"这个", U"那个", U"一个",
    U"非常", U"重要", U"语言", U"电脑", U"大学", U"老师", U"学生", U"北京", U"上海"};

constexpr std::u32string_view japanese_words[] = {
    U"私", U"は", U"が", U"を", U"に", U"の", U"で", U"と", U"も", U"です", U"ます", U"した", U"する",
    U"日本", U"東京", U"日本語", U"今日", U"明日", U"天気", U"学校", U"先生", U"友達", U"電車", U"仕事",
    U"時間", U"コンピューター", U"ソフトウェア", U"データ", U"ありがとう", U"こんにちは", U"すみません",
    U"とても", U"大きい", U"小さい", U"新しい", U"美しい", U"山", U"川", U"駅", U"会社"};

constexpr Language languages[] = {
    {english_words, std::size(english_words), true, U',', {U'.', U'?', U'!'}, 27},
    {french_words, std::size(french_words), true, U',', {U'.', U'?', U'!'}, 11},
    {german_words, std::size(german_words), true, U',', {U'.', U'?', U'!'}, 10},
    {spanish_words, std::size(spanish_words), true, U',', {U'.', U'?', U'!'}, 10},
    {russian_words, std::size(russian_words), true, U',', {U'.', U'?', U'!'}, 16},
    {chinese_words, std::size(chinese_words), false, 0xFF0C, {0x3002, 0xFF1F, 0xFF01}, 13},
    {japanese_words, std::size(japanese_words), false, 0x3001, {0x3002, 0xFF1F, 0xFF01}, 13},
};

// 😀 😂 🎉 👍 🚀 🌍 📚 🙂 🔥 💡 ✨ ❤
constexpr char32_t emoji[] = {0x1F600, 0x1F602, 0x1F389, 0x1F44D, 0x1F680, 0x1F30D,
                              0x1F4DA, 0x1F642, 0x1F525, 0x1F4A1, 0x2728,  0x2764};

// The capital of the lowercase Latin, Latin-1 and basic Cyrillic letters;
// anything else stays as it is.
char32_t capital(char32_t c) {
    if ((c >= U'a' && c <= U'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x430 && c <= 0x44F)) {
        return c - 0x20;
    }
    return c;
}

const Language& pick_language(Prng& prng) {
    uint32_t draw = prng.below(100);
    for (const Language& language : languages) {
        if (draw < language.weight) return language;
        draw -= language.weight;
    }
    return languages[0];
}

// A sentence of 4 to 14 words with a capital first letter, a comma now and
// then, and a full stop or, less often, a question or exclamation mark; one
// sentence in twenty is followed by an emoji.
void append_sentence(Prng& prng, std::u32string& text, const Language& language) {
    const uint32_t length = 4 + prng.below(11);
    for (uint32_t i = 0; i < length; ++i) {
        if (i > 0 && language.spaced) text.push_back(U' ');
        const size_t from = text.size();
        text.append(language.words[prng.below(static_cast<uint32_t>(language.word_count))]);
        if (i == 0) text[from] = capital(text[from]);
        if (i + 1 < length && prng.one_in(8)) text.push_back(language.comma);
    }
    const uint32_t end = prng.below(20);
    text.push_back(language.ends[end < 17 ? 0 : end < 19 ? 1 : 2]);
    if (prng.one_in(20)) {
        if (language.spaced) text.push_back(U' ');
        text.push_back(emoji[prng.below(std::size(emoji))]);
    }
}

// A paragraph of 2 to 6 sentences in one language, closed by a line break.
void append_paragraph(Prng& prng, std::u32string& text) {
    const Language& language = pick_language(prng);
    const uint32_t sentences = 2 + prng.below(5);
    for (uint32_t i = 0; i < sentences; ++i) {
        if (i > 0 && language.spaced) text.push_back(U' ');
        append_sentence(prng, text, language);
    }
    text.push_back(U'\n');
}

std::vector<Corpus> make_corpora() {
    std::vector<Corpus> corpora;
    corpora.push_back(make_corpus("ascii", 1, [](Prng& prng, std::u32string& text) {
        append_word(prng, text, ascii_letter);
    }));
    corpora.push_back(make_corpus("european", 2, [](Prng& prng, std::u32string& text) {
        append_word(prng, text, european_letter);
    }));
    corpora.push_back(make_corpus("cjk", 3, append_cjk_phrase));
    corpora.push_back(make_corpus("emoji", 4, append_emoji_words));
    corpora.push_back(make_corpus("mixed", 5, append_paragraph));
    return corpora;
}

// ---- helpers shared by the benchmarks ---------------------------------------

template <class String>
int32_t byte_size(const String& text) {
    return static_cast<int32_t>(text.size() * sizeof(typename String::value_type));
}

// Stops the program unless `converted` holds and `output` starts with the
// `size` bytes of `expected` followed by `terminator` zero bytes.
void verify(const std::string& benchmark, bool converted, const void* output, const void* expected,
            size_t size, size_t terminator) {
    if (!converted) fail(benchmark + ": the conversion failed or gave a wrong length");
    const auto* got = static_cast<const unsigned char*>(output);
    const auto* want = static_cast<const unsigned char*>(expected);
    const auto difference = std::mismatch(got, got + size, want).first;
    if (difference != got + size) {
        fail(benchmark + ": output differs from the expected bytes at offset " +
             std::to_string(difference - got));
    }
    for (size_t i = 0; i < terminator; ++i) {
        if (got[size + i] != 0) fail(benchmark + ": output lacks its terminator");
    }
}

// One iconv descriptor, opened once per benchmark.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1))) {
            fail(std::string("iconv_open from ") + from + " to " + to + " failed");
        }
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts `size` bytes of `source` into `destination` of `room` bytes
    // and adds `terminator` zero bytes, which iconv does not write. Returns
    // the bytes written before the terminator, or SIZE_MAX on failure.
    size_t convert(const void* source, size_t size, void* destination, size_t room, size_t terminator) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        auto* in = const_cast<char*>(static_cast<const char*>(source));
        auto* out = static_cast<char*>(destination);
        size_t in_left = size;
        size_t out_left = room - terminator;
        if (iconv(cd_, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) return SIZE_MAX;
        std::memset(out, 0, terminator);
        return static_cast<size_t>(out - static_cast<char*>(destination));
    }

private:
    iconv_t cd_;
};

// ---- set_from_utf16le and set_from_utf32: UTF-16LE or UTF-32 -> UTF-8 -----------
//
// keloutil and iconv take either form the same way, told its encoding; ICU
// has a function for each.

// str_set from `source` in `encoding`, into a reused destination.
template <class Source>
void set_from_keloutil(benchmark::State& state, const Corpus& corpus, const std::string& name, const Source& source,
                       int32_t encoding) {
    str_t* s = str_init();
    const int32_t size = byte_size(source);
    str_set(s, source.data(), size, encoding);
    verify(name, str_len(s) == byte_size(corpus.utf8), s->buffer, corpus.utf8.data(), corpus.utf8.size(), 1);
    for (auto _ : state) {
        str_set(s, source.data(), size, encoding);
        benchmark::DoNotOptimize(s->buffer);
    }
    str_uninit(s);
}

// iconv from `source` in `encoding`, into a destination of the worst-case
// size: 3 bytes of UTF-8 per UTF-16 unit, 4 per UTF-32 unit.
template <class Source>
void set_from_iconv(benchmark::State& state, const Corpus& corpus, const std::string& name, const Source& source,
                    const char* encoding) {
    constexpr size_t unit = sizeof(typename Source::value_type);
    Iconv cd("UTF-8", encoding);
    std::vector<char> out(source.size() * (unit == 2 ? 3 : 4) + 1);
    const size_t size = source.size() * unit;
    const size_t written = cd.convert(source.data(), size, out.data(), out.size(), 1);
    verify(name, written == corpus.utf8.size(), out.data(), corpus.utf8.data(), corpus.utf8.size(), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(cd.convert(source.data(), size, out.data(), out.size(), 1));
    }
}

void set_from_utf16le_keloutil(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    set_from_keloutil(state, corpus, name, corpus.utf16, STR_ENC_UTF16LE);
}

void set_from_utf16le_iconv(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    set_from_iconv(state, corpus, name, corpus.utf16, "UTF-16LE");
}

void set_from_utf16le_icu(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    std::vector<char> out(corpus.utf16.size() * 3 + 1);
    const auto convert = [&] {
        UErrorCode error = U_ZERO_ERROR;
        int32_t length = 0;
        u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, corpus.utf16.data(),
                    static_cast<int32_t>(corpus.utf16.size()), &error);
        return U_SUCCESS(error) ? length : -1;
    };
    verify(name, convert() == byte_size(corpus.utf8), out.data(), corpus.utf8.data(), corpus.utf8.size(), 1);
    for (auto _ : state) benchmark::DoNotOptimize(convert());
}

void set_from_utf32_keloutil(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    set_from_keloutil(state, corpus, name, corpus.utf32, STR_ENC_UTF32);
}

void set_from_utf32_iconv(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    set_from_iconv(state, corpus, name, corpus.utf32, "UTF-32LE");
}

// ICU has no direct UTF-32 to UTF-8 string function: u_strFromUTF32 into a
// reused UTF-16 buffer, then u_strToUTF8.
void set_from_utf32_icu(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    std::vector<UChar> middle(corpus.utf32.size() * 2 + 1);
    std::vector<char> out(corpus.utf32.size() * 4 + 1);
    const auto* source = reinterpret_cast<const UChar32*>(corpus.utf32.data());
    const auto convert = [&] {
        UErrorCode error = U_ZERO_ERROR;
        int32_t units = 0;
        int32_t length = 0;
        u_strFromUTF32(middle.data(), static_cast<int32_t>(middle.size()), &units, source,
                       static_cast<int32_t>(corpus.utf32.size()), &error);
        u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, middle.data(), units, &error);
        return U_SUCCESS(error) ? length : -1;
    };
    verify(name, convert() == byte_size(corpus.utf8), out.data(), corpus.utf8.data(), corpus.utf8.size(), 1);
    for (auto _ : state) benchmark::DoNotOptimize(convert());
}

// ---- get_utf16le: UTF-8 -> UTF-16LE into a preallocated destination ----------

void get_utf16le_keloutil(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    str_t* s = str_init();
    str_set(s, corpus.utf8.data(), byte_size(corpus.utf8), STR_ENC_UTF8);
    // str_get measures over the whole buffer, so the destination is sized
    // the same way.
    const int32_t size = str_encoding_requires_bytes(s->buffer, s->capacity, STR_ENC_UTF8, STR_ENC_UTF16LE);
    std::vector<char> out(static_cast<size_t>(size));
    const int32_t measured = str_get(s, out.data(), size, STR_ENC_UTF16LE);
    verify(name, size > 0 && measured == size, out.data(), corpus.utf16.data(), corpus.utf16.size() * 2, 2);
    for (auto _ : state) benchmark::DoNotOptimize(str_get(s, out.data(), size, STR_ENC_UTF16LE));
    str_uninit(s);
}

void get_utf16le_iconv(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    Iconv cd("UTF-16LE", "UTF-8");
    std::vector<char> out(corpus.utf8.size() * 2 + 2); // at most one UTF-16 unit per UTF-8 byte
    const size_t written = cd.convert(corpus.utf8.data(), corpus.utf8.size(), out.data(), out.size(), 2);
    verify(name, written == corpus.utf16.size() * 2, out.data(), corpus.utf16.data(), corpus.utf16.size() * 2, 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(cd.convert(corpus.utf8.data(), corpus.utf8.size(), out.data(), out.size(), 2));
    }
}

void get_utf16le_icu(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    std::vector<UChar> out(corpus.utf8.size() + 1);
    const auto convert = [&] {
        UErrorCode error = U_ZERO_ERROR;
        int32_t units = 0;
        u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &units, corpus.utf8.data(),
                      byte_size(corpus.utf8), &error);
        return U_SUCCESS(error) ? units : -1;
    };
    verify(name, convert() == static_cast<int32_t>(corpus.utf16.size()), out.data(), corpus.utf16.data(),
           corpus.utf16.size() * 2, 2);
    for (auto _ : state) benchmark::DoNotOptimize(convert());
}

// ---- alloc_utf16le: UTF-8 -> UTF-16LE into a new block each time -------------

void alloc_utf16le_keloutil(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    str_t* s = str_init();
    str_set(s, corpus.utf8.data(), byte_size(corpus.utf8), STR_ENC_UTF8);
    void* block = str_alloc(s, STR_ENC_UTF16LE);
    verify(name, block != nullptr, block, corpus.utf16.data(), corpus.utf16.size() * 2, 2);
    memory_free(block);
    for (auto _ : state) {
        block = str_alloc(s, STR_ENC_UTF16LE);
        benchmark::DoNotOptimize(block);
        memory_free(block);
    }
    str_uninit(s);
}

// The block has the worst-case size: iconv cannot measure ahead.
void alloc_utf16le_iconv(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    Iconv cd("UTF-16LE", "UTF-8");
    const size_t room = corpus.utf8.size() * 2 + 2;
    const auto convert = [&](size_t* written) {
        void* block = std::malloc(room);
        if (block != nullptr) *written = cd.convert(corpus.utf8.data(), corpus.utf8.size(), block, room, 2);
        return block;
    };
    size_t written = 0;
    void* block = convert(&written);
    verify(name, block != nullptr && written == corpus.utf16.size() * 2, block, corpus.utf16.data(),
           corpus.utf16.size() * 2, 2);
    std::free(block);
    for (auto _ : state) {
        block = convert(&written);
        benchmark::DoNotOptimize(block);
        std::free(block);
    }
}

// The block has the exact size, from a preflight pass as keloutil measures.
void alloc_utf16le_icu(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    const auto convert = [&](int32_t* units) {
        UErrorCode error = U_ZERO_ERROR;
        u_strFromUTF8(nullptr, 0, units, corpus.utf8.data(), byte_size(corpus.utf8), &error);
        if (error != U_BUFFER_OVERFLOW_ERROR) return static_cast<UChar*>(nullptr);
        error = U_ZERO_ERROR;
        auto* block = static_cast<UChar*>(std::malloc((static_cast<size_t>(*units) + 1) * sizeof(UChar)));
        if (block != nullptr) {
            u_strFromUTF8(block, *units + 1, units, corpus.utf8.data(), byte_size(corpus.utf8), &error);
            if (U_FAILURE(error)) *units = -1;
        }
        return block;
    };
    int32_t units = 0;
    UChar* block = convert(&units);
    verify(name, block != nullptr && units == static_cast<int32_t>(corpus.utf16.size()), block,
           corpus.utf16.data(), corpus.utf16.size() * 2, 2);
    std::free(block);
    for (auto _ : state) {
        block = convert(&units);
        benchmark::DoNotOptimize(block);
        std::free(block);
    }
}

// ---- Qt 5: QString, whose text is UTF-16 in host order ---------------------
//
// Qt converts only into QString and QByteArray objects of its own, so every
// Qt conversion makes a new block, whatever the operation: the cheapest
// calls that do each operation's job are timed. Both keep a zero terminator
// after their text, which the checks include.

#ifdef KELOUTIL_BENCH_QT

// A QStringView over the UTF-16 source reads it in place; toUtf8 makes the
// QByteArray.
void set_from_utf16le_qt(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    const QStringView source(corpus.utf16.data(), static_cast<qsizetype>(corpus.utf16.size()));
    const QByteArray first = source.toUtf8();
    verify(name, static_cast<size_t>(first.size()) == corpus.utf8.size(), first.constData(), corpus.utf8.data(),
           corpus.utf8.size(), 1);
    for (auto _ : state) {
        const QByteArray utf8 = source.toUtf8();
        benchmark::DoNotOptimize(utf8.constData());
    }
}

// Qt has no direct UTF-32 to UTF-8 conversion: QString::fromUcs4, then toUtf8.
void set_from_utf32_qt(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    const auto convert = [&corpus] {
        return QString::fromUcs4(corpus.utf32.data(), static_cast<int>(corpus.utf32.size())).toUtf8();
    };
    const QByteArray first = convert();
    verify(name, static_cast<size_t>(first.size()) == corpus.utf8.size(), first.constData(), corpus.utf8.data(),
           corpus.utf8.size(), 1);
    for (auto _ : state) {
        const QByteArray utf8 = convert();
        benchmark::DoNotOptimize(utf8.constData());
    }
}

// QString::fromUtf8 serves both UTF-8 -> UTF-16LE operations: Qt cannot
// convert into a buffer of the caller's, so get_utf16le and alloc_utf16le
// time the same call.
void from_utf8_qt(benchmark::State& state, const Corpus& corpus, const std::string& name) {
    const auto convert = [&corpus] { return QString::fromUtf8(corpus.utf8.data(), byte_size(corpus.utf8)); };
    const QString first = convert();
    verify(name, static_cast<size_t>(first.size()) == corpus.utf16.size(), first.utf16(), corpus.utf16.data(),
           corpus.utf16.size() * 2, 2);
    for (auto _ : state) {
        const QString utf16 = convert();
        benchmark::DoNotOptimize(utf16.constData());
    }
}

#endif // KELOUTIL_BENCH_QT

// ---- registration and summary ------------------------------------------------

using BenchmarkFunction = void (*)(benchmark::State&, const Corpus&, const std::string&);

// The Qt cases, or none when the program is built without Qt.
#ifdef KELOUTIL_BENCH_QT
#define QT_CASE(function) function
#else
#define QT_CASE(function) nullptr
#endif

struct Operation {
    const char* name;
    BenchmarkFunction keloutil;
    BenchmarkFunction iconv;
    BenchmarkFunction icu;
    BenchmarkFunction qt; // nullptr without Qt
};

const Operation operations[] = {
    {"set_from_utf16le", set_from_utf16le_keloutil, set_from_utf16le_iconv, set_from_utf16le_icu,
     QT_CASE(set_from_utf16le_qt)},
    {"set_from_utf32", set_from_utf32_keloutil, set_from_utf32_iconv, set_from_utf32_icu, QT_CASE(set_from_utf32_qt)},
    {"get_utf16le", get_utf16le_keloutil, get_utf16le_iconv, get_utf16le_icu, QT_CASE(from_utf8_qt)},
    {"alloc_utf16le", alloc_utf16le_keloutil, alloc_utf16le_iconv, alloc_utf16le_icu, QT_CASE(from_utf8_qt)},
};

std::string benchmark_name(const char* operation, const Corpus& corpus, const char* implementation) {
    return std::string(operation) + "/" + corpus.name + "/" + implementation;
}

// Every benchmark counts the corpus's UTF-8 size as its bytes processed.
void register_benchmarks(const std::vector<Corpus>& corpora) {
    for (const Operation& operation : operations) {
        for (const Corpus& corpus : corpora) {
            const std::pair<const char*, BenchmarkFunction> implementations[] = {
                {"keloutil", operation.keloutil},
                {"iconv", operation.iconv},
                {"icu", operation.icu},
                {"qt", operation.qt}};
            for (const auto& [implementation, function] : implementations) {
                if (function == nullptr) continue;
                const std::string name = benchmark_name(operation.name, corpus, implementation);
                const auto counted = [function = function, &corpus, name](benchmark::State& state) {
                    function(state, corpus, name);
                    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(corpus.utf8.size()));
                };
                benchmark::RegisterBenchmark(name.c_str(), counted);
            }
        }
    }
}

// Bytes per second, from the counter that SetBytesProcessed makes.
double bytes_per_second(const CollectingReporter::Run& run) {
    const auto counter = run.counters.find("bytes_per_second");
    return counter != run.counters.end() ? counter->second.value : 0.0;
}

// A Markdown table; MB/s counts 10^6 bytes of the corpus's UTF-8 form per
// second (so 4000 MB/s is 4 GB/s), and a ratio above 1 means keloutil is
// faster. The Qt columns show "-" without Qt.
void print_summary(const CollectingReporter& results, const std::vector<Corpus>& corpora) {
    std::vector<std::string> rows;
    for (const Operation& operation : operations) {
        for (const Corpus& corpus : corpora) {
            const auto figure = [&](const char* implementation) {
                return results.figure(benchmark_name(operation.name, corpus, implementation));
            };
            const double keloutil = figure("keloutil");
            const double iconv = figure("iconv");
            const double icu = figure("icu");
            const double qt = figure("qt");
            if (keloutil <= 0.0 && iconv <= 0.0 && icu <= 0.0 && qt <= 0.0) continue;
            rows.push_back(table_row({operation.name, corpus.name, format("%.0f", keloutil / 1e6),
                                      format("%.0f", iconv / 1e6), format("%.0f", icu / 1e6),
                                      format("%.0f", qt / 1e6), ratio(keloutil, icu), ratio(keloutil, iconv),
                                      ratio(keloutil, qt)}));
        }
    }
    print_table("Throughput in MB/s (10^6 bytes of UTF-8 per second); ratios > 1 mean keloutil is faster.",
                "| operation | corpus | keloutil MB/s | iconv MB/s | ICU MB/s | Qt MB/s "
                "| keloutil/ICU | keloutil/iconv | keloutil/Qt |\n"
                "|---|---|---:|---:|---:|---:|---:|---:|---:|",
                rows);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Corpus> corpora;
    const auto prepare = [&corpora] {
        corpora = make_corpora();
        for (const Corpus& corpus : corpora) {
            std::printf("corpus %-8s %8zu bytes of UTF-8, %8zu characters, %5.1f%% non-ASCII\n", corpus.name.c_str(),
                        corpus.utf8.size(), corpus.utf32.size(),
                        100.0 * static_cast<double>(corpus.non_ascii) / static_cast<double>(corpus.utf32.size()));
        }
        register_benchmarks(corpora);
    };
    return run_benchmarks(argc, argv, bytes_per_second, prepare,
                          [&corpora](const CollectingReporter& results) { print_summary(results, corpora); });
}
