#pragma once

#include <QByteArray>
#include <QString>

// What a run of byte reads (" EER", one answer each) gives: the stored bytes, and the
// text a read-back file receives. No port, no files.
namespace ReadBackText {

// How many answers in the text have come as far as their byte (rule A could take
// that many bytes).
int answerCount(const QString& answers);

// The collected answers with the last one ended by CR LF. The receive handler passes
// received text on only when it holds a CR, so the CR LF after the last byte (or the
// LF after its CR) may still wait there when reading ends; rule B needs them.
QString withLastAnswerEnded(QString answers);

// The stored bytes in the answers, taken by rule A one after the other until no
// answer is left; an answer that did not arrive leaves its byte out.
QByteArray bytesFromAnswers(const QString& answers);

// The file text of stored bytes: each CR followed by a LF. As numbers (asText clear),
// one line for each character of that text: its code with a leading blank, then
// CR LF, so a stored CR gives the lines " 13" and " 10".
QByteArray fileText(const QByteArray& bytes, bool asText);

} // namespace ReadBackText
