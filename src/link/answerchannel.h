#pragma once
#include <QObject>
#include <QString>

// The answer state that windows other than the main window read and set; only the
// main window's receive handler (TerminalCore) routes received bytes into it.
class AnswerChannel : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    QString answerMarker;       // the last command line sent; answers are looked for after it
    bool captureMode = false;   // capture branch: Auto Configure, diagnostic log
    QString captureText;        // capture branch: all that arrived since clearTexts()
    bool downloadBranch = false; // the download window is shown: its branch gets the text
    QString markedAnswer;       // download branch: the accumulator from the marker on
    bool collecting = false;    // the collect flag
    QString collectedAnswers;   // download branch: marked answers appended while collecting

    // Clears the collected answers and switches collecting on.
    void startReading();
    // Switches collecting off and hands over (and clears) the collected answers.
    QString endReading();
    // Empties the texts (not the switches), e.g. when a mode starts.
    void clearTexts();

Q_SIGNALS:
    // The receive handler changed captureText, markedAnswer or collectedAnswers.
    void updated();
};
