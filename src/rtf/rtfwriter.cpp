#include "rtfwriter.h"

#include <QColor>
#include <QList>
#include <QStringList>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

namespace {

QString familyOf(const QTextCharFormat& f)
{
    const QStringList families = f.fontFamilies().toStringList();
    return families.isEmpty() ? QString() : families.first();
}

QColor colourOf(const QTextCharFormat& f, QTextFormat::Property p)
{
    if (!f.hasProperty(p))
        return {};
    const QBrush b = f.brushProperty(p);
    return b.style() == Qt::NoBrush ? QColor() : b.color();
}

// Text as RTF: the three special characters escaped, tab, line break and no-break
// space as control words, every other character outside printable ASCII as \uN
// (signed 16 bits, one UTF-16 unit each) followed by "?" for readers without Unicode.
void appendText(QByteArray& out, QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += '\\';
            out += char(u);
        } else if (u == '\t') {
            out += "\\tab ";
        } else if (u == QChar::LineSeparator) {
            out += "\\line ";
        } else if (u == QChar::Nbsp) {
            out += "\\~";
        } else if (u >= 0x20 && u < 0x7F) {
            out += char(u);
        } else if (u < 0x20 || u == QChar::ObjectReplacementCharacter) {
            continue; // control characters and embedded objects carry no text
        } else {
            out += "\\u" + QByteArray::number(qint16(u)) + "\\'3f";
        }
    }
}

class Writer
{
public:
    explicit Writer(const QTextDocument& doc)
        : m_doc(doc)
    {
        m_fonts.append(doc.defaultFont().family());
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                if (const QString family = familyOf(f);
                    !family.isEmpty() && !m_fonts.contains(family))
                    m_fonts.append(family);
                for (const auto p :
                    { QTextFormat::ForegroundBrush, QTextFormat::BackgroundBrush }) {
                    if (const QColor c = colourOf(f, p);
                        c.isValid() && !m_colours.contains(c.rgb()))
                        m_colours.append(c.rgb());
                }
            }
        }
    }

    QByteArray run()
    {
        QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
        for (qsizetype i = 0; i < m_fonts.size(); ++i) {
            out += "{\\f" + QByteArray::number(i) + "\\fnil ";
            appendText(out, m_fonts[i]);
            out += ";}";
        }
        out += "}\n{\\colortbl;";
        for (const QRgb c : std::as_const(m_colours)) {
            out += "\\red" + QByteArray::number(qRed(c)) + "\\green" + QByteArray::number(qGreen(c))
                + "\\blue" + QByteArray::number(qBlue(c)) + ';';
        }
        out += "}\n";
        for (QTextBlock b = m_doc.begin(); b.isValid(); b = b.next()) {
            if (b != m_doc.begin())
                out += "\\par\n";
            out += "\\pard";
            const Qt::Alignment a = b.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
            if (a & Qt::AlignHCenter)
                out += "\\qc";
            else if (a & Qt::AlignRight)
                out += "\\qr";
            else if (a & Qt::AlignJustify)
                out += "\\qj";
            // Document pixels (1/96 inch) to twips.
            const QTextBlockFormat bf = b.blockFormat();
            const std::pair<const char*, qreal> spacing[]
                = { { "\\sb", bf.topMargin() }, { "\\sa", bf.bottomMargin() },
                      { "\\li", bf.leftMargin() }, { "\\fi", bf.textIndent() } };
            for (const auto& [word, px] : spacing) {
                if (const int twips = qRound(px * 15))
                    out += word + QByteArray::number(twips);
            }
            out += ' ';
            for (auto it = b.begin(); !it.atEnd(); ++it)
                appendRun(out, it.fragment());
        }
        out += "}\n";
        return out;
    }

private:
    void appendRun(QByteArray& out, const QTextFragment& fragment)
    {
        const QTextCharFormat f = fragment.charFormat();
        QByteArray words;
        if (f.fontWeight() >= QFont::DemiBold)
            words += "\\b";
        if (f.fontItalic())
            words += "\\i";
        if (f.fontUnderline())
            words += "\\ul";
        if (f.fontStrikeOut())
            words += "\\strike";
        if (const QString family = familyOf(f); !family.isEmpty())
            words += "\\f" + QByteArray::number(m_fonts.indexOf(family));
        if (f.hasProperty(QTextFormat::FontPointSize) && f.fontPointSize() > 0)
            words += "\\fs" + QByteArray::number(qRound(f.fontPointSize() * 2));
        if (const QColor c = colourOf(f, QTextFormat::ForegroundBrush); c.isValid())
            words += "\\cf" + QByteArray::number(m_colours.indexOf(c.rgb()) + 1);
        if (const QColor c = colourOf(f, QTextFormat::BackgroundBrush); c.isValid())
            words += "\\highlight" + QByteArray::number(m_colours.indexOf(c.rgb()) + 1);
        if (words.isEmpty()) {
            appendText(out, fragment.text());
            return;
        }
        out += '{' + words + ' ';
        appendText(out, fragment.text());
        out += '}';
    }

    const QTextDocument& m_doc;
    QStringList m_fonts; // f0 is the document's default font
    QList<QRgb> m_colours; // colour table from entry 1 on
};

} // namespace

namespace rtf {

QByteArray write(const QTextDocument& doc)
{
    return Writer(doc).run();
}

} // namespace rtf
