#pragma once

#include <QObject>

class QTimer;
class WebService;

// Drops what the fetch service keeps of the marketplace (its cookies: the service keeps no page
// cache), so each item page is fetched as a first visitor would. A clean-up stays loaded for
// half a second; asking again meanwhile does nothing.
class CacheCleaner : public QObject
{
    Q_OBJECT
public:
    explicit CacheCleaner(WebService &web, QObject *parent = nullptr);

    // Returns how many entries went; 0 also when a clean-up is still loaded.
    int run();
    bool loaded() const;

private:
    WebService &m_web;
    QTimer *m_timer;
};
