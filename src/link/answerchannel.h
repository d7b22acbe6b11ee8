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

    // The last command line sent; answers are looked for after it.
    const QString& answerMarker() const { return m_answerMarker; }
    void setAnswerMarker(const QString& marker) { m_answerMarker = marker; }

    // Capture branch (Auto Configure, the diagnostic log): all that arrived since
    // clearTexts() goes into captureText.
    bool captureMode() const { return m_captureMode; }
    void setCaptureMode(bool on) { m_captureMode = on; }
    const QString& captureText() const { return m_captureText; }
    // Appends text to the capture, of which the last `keep` characters are kept.
    void appendCaptured(const QString& text, qsizetype keep);

    // The download window is shown: its branch gets the text.
    bool downloadBranch() const { return m_downloadBranch; }
    void setDownloadBranch(bool on) { m_downloadBranch = on; }
    // Download branch: the accumulator from the marker on.
    const QString& markedAnswer() const { return m_markedAnswer; }
    void setMarkedAnswer(const QString& text) { m_markedAnswer = text; }

    // Download branch: marked answers appended while collecting.
    bool collecting() const { return m_collecting; }
    const QString& collectedAnswers() const { return m_collectedAnswers; }
    // Appends a marked answer; beyond 16 MiB (more than any read of this program
    // collects) the collection starts again empty.
    void collect(const QString& answer);
    void clearCollected() { m_collectedAnswers.clear(); }
    // Clears the collected answers and switches collecting on.
    void startReading();
    // Switches collecting off and hands over (and clears) the collected answers.
    QString endReading();
    // Empties the texts (not the switches), e.g. when a mode starts.
    void clearTexts();

Q_SIGNALS:
    // The receive handler changed captureText, markedAnswer or collectedAnswers.
    void updated();

private:
    QString m_answerMarker;
    bool m_captureMode = false;
    QString m_captureText;
    bool m_downloadBranch = false;
    QString m_markedAnswer;
    bool m_collecting = false;
    QString m_collectedAnswers;
};
