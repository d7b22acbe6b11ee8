#include "link/answerchannel.h"

#include <utility>

void AnswerChannel::appendCaptured(const QString& text, qsizetype keep)
{
    m_captureText += text;
    if (m_captureText.size() > keep)
        m_captureText = m_captureText.right(keep);
}

void AnswerChannel::collect(const QString& answer)
{
    m_collectedAnswers += answer;
    if (m_collectedAnswers.size() > 16 * 1024 * 1024)
        m_collectedAnswers.clear();
}

void AnswerChannel::startReading()
{
    m_collectedAnswers.clear();
    m_collecting = true;
}

QString AnswerChannel::endReading()
{
    m_collecting = false;
    return std::exchange(m_collectedAnswers, QString());
}

void AnswerChannel::clearTexts()
{
    m_captureText.clear();
    m_markedAnswer.clear();
    m_collectedAnswers.clear();
}
