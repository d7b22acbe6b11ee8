#pragma once

#include <QString>

// What the command mode knows of the command whose answer it reads.
struct AnswerRequest
{
    QString command; // the command text as sent; its echo in front of the answer goes
    QString statusQueryPrefix; // a status wait's query, echoed in front of its answer
    bool statusWait = false; // a status wait: only a status answer of the node counts
    bool checksum = false; // answers end in "#" and two check characters
    qsizetype maxPending = 0; // the most kept while no line end has come, in characters
};

// The answer found in what the command mode has received so far.
struct ParsedAnswer
{
    // A whole answer line, which buffer, line and rejected describe. Otherwise
    // `buffer` is what waits for the next read.
    bool complete = false;
    // Complete: the answer up to and with its CR; with checksums the text before "#",
    // empty when the check failed.
    QString buffer;
    QString line; // complete: the answer without CR or check characters
    bool rejected = false; // checksum mode: the check failed, or there was none
    bool statusQuery = false; // the command (upper-cased) contains "ST"
};

// Takes the first answer line out of `received` (the response buffer with what was
// just read): drops a leading line end and the echoes of the command and the status
// query (each with the 3 characters after it, 5 with checksums), and in a status wait
// anything but the node's status answer. Fewer than 6 characters are no answer yet.
ParsedAnswer parseAnswer(const QString& received, const AnswerRequest& request);
