#include "rtfreader.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <array>
#include <limits>

namespace {

// 0x80..0x9F of Windows-1252; the five unassigned bytes keep their C1 code points.
constexpr std::array<char16_t, 32> kCp1252High
    = { 0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
          0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
          0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178 };

char16_t cp1252(uchar b)
{
    return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
}

// Groups nested deeper than this share the state of the deepest kept one: a file of
// nothing but "{" must not cost memory in proportion to its length.
constexpr int kMaxDepth = 256;
const QList<QByteArray> kSpacingWords = { "sb", "sa", "li", "fi" };
// Longest control word RTF allows; longer runs of letters are read and ignored.
constexpr int kMaxWord = 32;

enum class Dest
{
    Text,
    Skip,
    FontTable,
    ColourTable
};

struct CharState
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int font = -1; // \fN; -1: none given
    int halfPoints = 0; // \fsN; 0: none given
    int colour = 0; // \cfN; 0: automatic
    int highlight = 0; // \highlightN; 0: none
};

struct GroupState
{
    CharState ch;
    Qt::Alignment align = Qt::AlignLeft;
    // Paragraph spacing and indents in twips (1/1440 inch): \sb, \sa, \li, \fi.
    std::array<int, 4> spacing { 0, 0, 0, 0 };
    Dest dest = Dest::Text;
    int uc = 1; // fallback characters after each \uN
};

// Destinations whose text is not part of the document.
bool skippedDestination(const QByteArray& w)
{
    static const QList<QByteArray> words = { "info", "stylesheet", "pict", "object", "header",
        "headerl", "headerr", "headerf", "footer", "footerl", "footerr", "footerf", "footnote",
        "fldinst", "themedata", "colorschememapping", "latentstyles", "datastore", "listtable",
        "listoverridetable", "rsidtbl", "generator", "filetbl", "revtbl", "pgdsctbl", "xmlnstbl",
        "nonshppict", "shpinst", "annotation", "atnid", "atnauthor", "bkmkstart", "bkmkend", "xe",
        "tc", "txe", "author", "operator", "title", "subject", "keywords", "comment", "doccomm",
        "company", "fontemb", "fontfile", "panose", "falt", "mmathPr", "userprops", "template" };
    return words.contains(w);
}

class Reader
{
public:
    Reader(const QByteArray& bytes, QTextDocument& doc)
        : m_in(bytes)
        , m_cursor(&doc)
    {
        m_stack.append(GroupState {});
        // Blank lines before the opening brace are not text.
        m_pos = bytes.indexOf('{');
    }

    void run()
    {
        const qsizetype n = m_in.size();
        while (m_pos < n && !m_ended) {
            const uchar c = uchar(m_in[m_pos++]);
            switch (c) {
            case '{':
                flush();
                m_pending = 0;
                push();
                break;
            case '}':
                flush();
                m_pending = 0;
                pop();
                break;
            case '\\':
                control();
                break;
            case '\r':
            case '\n':
            case 0:
                break;
            default:
                put(cp1252(c));
                break;
            }
        }
        flush();
        if (!m_ended)
            m_cursor.setBlockFormat(blockFormat());
    }

private:
    GroupState& state() { return m_stack.last(); }

    void push()
    {
        if (m_stack.size() >= kMaxDepth)
            ++m_overflow;
        else
            m_stack.append(GroupState(m_stack.last())); // a copy: append may reallocate
    }

    void pop()
    {
        if (m_overflow > 0) {
            --m_overflow;
            return;
        }
        if (state().dest == Dest::FontTable)
            endFont();
        // The document ends with the group it began with; what follows is not RTF.
        // Its last paragraph has no \par and takes the properties in force here.
        if (m_stack.size() <= 2) {
            m_cursor.setBlockFormat(blockFormat());
            m_ended = true;
            return;
        }
        m_stack.removeLast();
    }

    // One character of the current destination (or a fallback character to skip).
    void put(char16_t ch)
    {
        if (m_pending > 0) {
            --m_pending;
            return;
        }
        switch (state().dest) {
        case Dest::Text:
            if (ch >= 0x20 || ch == '\t')
                m_text.append(QChar(ch));
            break;
        case Dest::FontTable:
            if (ch == ';')
                endFont();
            else
                m_fontName.append(QChar(ch));
            break;
        case Dest::ColourTable:
            if (ch == ';') {
                m_colours.append(m_rgbGiven ? QColor(m_rgb[0], m_rgb[1], m_rgb[2]) : QColor());
                m_rgb = { 0, 0, 0 };
                m_rgbGiven = false;
            }
            break;
        case Dest::Skip:
            break;
        }
    }

    void endFont()
    {
        const QString name = m_fontName.trimmed();
        if (!name.isEmpty() && m_fontId >= 0)
            m_fonts.insert(m_fontId, name);
        m_fontName.clear();
    }

    void control()
    {
        const qsizetype n = m_in.size();
        if (m_pos >= n)
            return;
        const char c = m_in[m_pos];
        const auto isLetter
            = [](char x) { return (x >= 'a' && x <= 'z') || (x >= 'A' && x <= 'Z'); };
        const auto isDigit = [](char x) { return x >= '0' && x <= '9'; };
        if (!isLetter(c)) {
            ++m_pos;
            symbol(c);
            return;
        }
        const qsizetype start = m_pos;
        while (m_pos < n && isLetter(m_in[m_pos]))
            ++m_pos;
        const QByteArray word
            = m_pos - start <= kMaxWord ? m_in.mid(start, m_pos - start) : QByteArray();
        bool negative = false;
        if (m_pos + 1 < n && m_in[m_pos] == '-' && isDigit(m_in[m_pos + 1])) {
            negative = true;
            ++m_pos;
        }
        bool hasParam = false;
        qint64 value = 0;
        while (m_pos < n && isDigit(m_in[m_pos])) {
            hasParam = true;
            // Saturates: an absurd parameter must not wrap into a plausible one.
            value = std::min<qint64>(value * 10 + (m_in[m_pos] - '0'), 1LL << 40);
            ++m_pos;
        }
        if (m_pos < n && m_in[m_pos] == ' ')
            ++m_pos;
        const qint64 bounded = std::clamp<qint64>(negative ? -value : value,
            std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
        const bool star = m_star;
        m_star = false;
        if (!word.isEmpty())
            keyword(word, hasParam, int(bounded), star);
    }

    void symbol(char c)
    {
        m_star = false;
        switch (c) {
        case '\'': {
            const auto hex = [](char x) -> int {
                if (x >= '0' && x <= '9')
                    return x - '0';
                if (x >= 'a' && x <= 'f')
                    return x - 'a' + 10;
                if (x >= 'A' && x <= 'F')
                    return x - 'A' + 10;
                return -1;
            };
            if (m_pos + 1 < m_in.size()) {
                const int hi = hex(m_in[m_pos]);
                const int lo = hex(m_in[m_pos + 1]);
                if (hi >= 0 && lo >= 0) {
                    m_pos += 2;
                    put(cp1252(uchar(hi * 16 + lo)));
                }
            }
            break;
        }
        case '\\':
        case '{':
        case '}':
            put(char16_t(c));
            break;
        case '~':
            put(0x00A0);
            break;
        case '_':
            put(0x2011);
            break;
        case '*':
            m_star = true;
            break;
        case '\r':
        case '\n':
            paragraph();
            break;
        default:
            break; // \- (optional hyphen), \: (index subentry), unknown symbols
        }
    }

    void keyword(const QByteArray& w, bool hasParam, int param, bool star)
    {
        GroupState& g = state();
        const bool on = !hasParam || param != 0;
        if (w == "fonttbl") {
            g.dest = Dest::FontTable;
            m_fontId = -1;
            m_fontName.clear();
        } else if (w == "colortbl") {
            g.dest = Dest::ColourTable;
        } else if (star || skippedDestination(w)) {
            g.dest = Dest::Skip;
        } else if (w == "bin") {
            // Binary data of the stated length; never text.
            m_pos += std::clamp<qsizetype>(param, 0, m_in.size() - m_pos);
        } else if (g.dest == Dest::Skip) {
            return;
        } else if (w == "u") {
            int unit = param < 0 ? param + 65536 : param;
            put(char16_t(std::clamp(unit, 0, 0xFFFF)));
            m_pending = g.uc;
        } else if (w == "uc") {
            g.uc = std::clamp(param, 0, 16);
        } else if (g.dest == Dest::FontTable) {
            if (w == "f") {
                endFont();
                m_fontId = param;
            }
        } else if (g.dest == Dest::ColourTable) {
            const int v = std::clamp(param, 0, 255);
            if (w == "red" || w == "green" || w == "blue") {
                m_rgb[w == "red" ? 0 : w == "green" ? 1 : 2] = v;
                m_rgbGiven = true;
            }
        } else if (w == "par" || w == "sect" || w == "page" || w == "row") {
            paragraph();
        } else if (w == "line") {
            put(QChar::LineSeparator);
        } else if (w == "tab" || w == "cell") {
            put('\t');
        } else if (const char16_t special = specialCharacter(w)) {
            put(special);
        } else if (w == "pard") {
            g.align = Qt::AlignLeft;
            g.spacing = { 0, 0, 0, 0 };
        } else if (const int k = kSpacingWords.indexOf(w); k >= 0) {
            // 22 inches either way is more than any page.
            g.spacing[size_t(k)] = std::clamp(param, -31680, 31680);
        } else if (w == "ql" || w == "qc" || w == "qr" || w == "qj") {
            g.align = w == "qc" ? Qt::AlignHCenter
                : w == "qr"     ? Qt::AlignRight
                : w == "qj"     ? Qt::AlignJustify
                                : Qt::AlignLeft;
        } else {
            charKeyword(w, hasParam, param, on);
        }
    }

    static char16_t specialCharacter(const QByteArray& w)
    {
        static const QHash<QByteArray, char16_t> chars = { { "emdash", 0x2014 },
            { "endash", 0x2013 }, { "bullet", 0x2022 }, { "lquote", 0x2018 }, { "rquote", 0x2019 },
            { "ldblquote", 0x201C }, { "rdblquote", 0x201D }, { "emspace", 0x2003 },
            { "enspace", 0x2002 }, { "qmspace", 0x2005 } };
        return chars.value(w, 0);
    }

    void charKeyword(const QByteArray& w, bool hasParam, int param, bool on)
    {
        CharState next = state().ch;
        if (w == "plain")
            next = CharState {};
        else if (w == "b")
            next.bold = on;
        else if (w == "i")
            next.italic = on;
        else if (w == "strike")
            next.strike = on;
        else if (w == "ulnone")
            next.underline = false;
        else if (w.startsWith("ul") && !w.startsWith("ulc"))
            next.underline = on;
        else if (w == "f" && hasParam)
            next.font = param;
        else if (w == "fs")
            next.halfPoints = hasParam ? std::clamp(param, 0, 3276) : 0;
        else if (w == "cf")
            next.colour = std::max(param, 0);
        else if (w == "highlight")
            next.highlight = std::max(param, 0);
        else
            return;
        flush();
        state().ch = next;
    }

    void paragraph()
    {
        if (state().dest != Dest::Text)
            return;
        flush();
        m_pending = 0;
        m_cursor.setBlockFormat(blockFormat());
        m_cursor.insertBlock();
    }

    QTextBlockFormat blockFormat() const
    {
        const GroupState& g = m_stack.last();
        QTextBlockFormat f;
        f.setAlignment(g.align);
        // A document pixel is 1/96 inch, 15 twips.
        if (g.spacing[0])
            f.setTopMargin(g.spacing[0] / 15.0);
        if (g.spacing[1])
            f.setBottomMargin(g.spacing[1] / 15.0);
        if (g.spacing[2])
            f.setLeftMargin(g.spacing[2] / 15.0);
        if (g.spacing[3])
            f.setTextIndent(g.spacing[3] / 15.0);
        return f;
    }

    QColor tableColour(int index) const
    {
        return index > 0 && index < m_colours.size() ? m_colours[index] : QColor();
    }

    QTextCharFormat charFormat() const
    {
        const CharState& s = m_stack.last().ch;
        QTextCharFormat f;
        if (s.bold)
            f.setFontWeight(QFont::Bold);
        if (s.italic)
            f.setFontItalic(true);
        if (s.underline)
            f.setFontUnderline(true);
        if (s.strike)
            f.setFontStrikeOut(true);
        if (s.halfPoints > 0)
            f.setFontPointSize(s.halfPoints / 2.0);
        if (s.font >= 0 && m_fonts.contains(s.font))
            f.setFontFamilies(QStringList { m_fonts.value(s.font) });
        if (const QColor c = tableColour(s.colour); c.isValid())
            f.setForeground(c);
        if (const QColor c = tableColour(s.highlight); c.isValid())
            f.setBackground(c);
        return f;
    }

    void flush()
    {
        if (m_text.isEmpty())
            return;
        // \uN gives UTF-16 units one by one; a half of a pair on its own is not text.
        for (qsizetype i = 0; i < m_text.size(); ++i) {
            const QChar c = m_text[i];
            if (c.isHighSurrogate() && i + 1 < m_text.size() && m_text[i + 1].isLowSurrogate())
                ++i;
            else if (c.isSurrogate())
                m_text[i] = QChar::ReplacementCharacter;
        }
        m_cursor.insertText(m_text, charFormat());
        m_text.clear();
    }

    const QByteArray& m_in;
    qsizetype m_pos = 0;
    QTextCursor m_cursor;
    QList<GroupState> m_stack;
    int m_overflow = 0; // groups opened beyond kMaxDepth and not yet closed
    bool m_ended = false;
    bool m_star = false; // "\*" seen: an unknown destination that follows is skipped
    int m_pending = 0; // fallback characters of the last \uN still to skip
    QString m_text; // text not yet inserted, all in the current format
    QHash<int, QString> m_fonts;
    int m_fontId = -1;
    QString m_fontName;
    QList<QColor> m_colours; // the colour table; entry 0 is usually the automatic colour
    std::array<int, 3> m_rgb { 0, 0, 0 };
    bool m_rgbGiven = false;
};

bool looksLikeRtf(const QByteArray& bytes)
{
    return bytes.trimmed().startsWith("{\\rtf");
}

} // namespace

namespace rtf {

QString fromCp1252(const QByteArray& bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        out.append(QChar(cp1252(uchar(c))));
    return out;
}

bool read(const QByteArray& bytes, QTextDocument& doc)
{
    doc.clear();
    if (!looksLikeRtf(bytes)) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8(bytes);
        doc.setPlainText(utf8.hasError() ? fromCp1252(bytes) : text);
        return false;
    }
    Reader(bytes, doc).run();
    return true;
}

} // namespace rtf
