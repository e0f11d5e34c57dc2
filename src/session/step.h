#pragma once

#include <QObject>
#include <QString>

// What a step reports to whoever shows it: the window binds these, the runner prints them.
// The step's button caption is its state, so the step keeps it.
class Step : public QObject
{
    Q_OBJECT
public:
    explicit Step(const QString &idleCaption, QObject *parent = nullptr);

    QString caption() const { return m_caption; }

signals:
    // The status line.
    void status(const QString &text);
    // A shown list row, found by its item ID, takes a label until the next refill.
    void rowLabel(const QString &item, const QString &label);
    // The page title, description and keywords last read for an item, for the edit boxes.
    void workTexts(const QString &item, const QString &title, const QString &doc, const QString &key);
    // The list is to be filled anew from the database.
    void refillList();
    void captionChanged(const QString &caption);

protected:
    void setCaption(const QString &caption);

private:
    QString m_caption;
};
