#pragma once

#include <QLabel>

// Label1, the status line: one line of plain text. A reply of the site or a page can arrive
// here whole, HTML included; it is shown as the text it is, on one line, cut to the room
// there is, and never makes the window grow. The tooltip of a cut line holds the whole text,
// within a cap.
class StatusLine : public QLabel
{
    Q_OBJECT
public:
    // What the tooltip keeps of a long text.
    static constexpr int kMaxChars = 2000;

    explicit StatusLine(QWidget *parent = nullptr);

    QString fullText() const { return m_text; }
    void setStatus(const QString &text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    QString m_text;   // on one line, capped
};
