#pragma once

#include "sim/http.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <memory>
#include <optional>

class HttpServer;
class QTcpSocket;

// A fault of the outside world: what one kind of request gets in place of its answer.
struct SimFault {
    enum class Target { List, Item, Desc, Login, Upload, Tool };
    enum class Kind {
        NoAnswer,   // the connection is closed without a word
        Reset,      // the connection is reset
        Status500,  // an error page with status 500
        Status503,  // the same with 503
        Status404,  // 404 with no body at all
        Half,       // the head and half the body, then the connection is closed
        Garbage,    // "200 OK" with bytes that mean nothing
        Hang,       // never answered
    };
    Target target = Target::Item;
    Kind kind = Kind::NoAnswer;
    int every = 1;      // the Nth, 2Nth, ... request of the target
    QString item;       // only this item's page or description (empty: any)

    // "TARGET:KIND[:N][@ITEM]", e.g. "upload:503", "desc:500:5", "item:404@520000100011".
    static std::optional<SimFault> parse(const QString &text);
};

// The outside world on one local port: the marketplace (shop lists, item pages,
// description documents, pictures), its API test tool, and the operator's mirror site.
// It answers every host by the request's Host header, seeded and deterministic.
struct SimOptions {
    quint32 seed = 1;
    int items = 57;               // items in the shop
    int page25 = 0;               // this list page carries 25 item blocks (0: none)
    int goneShare = 10;           // percent of items whose page says the item is unavailable
    QString shopHost = QStringLiteral("velorix-demo.taobao.com");
    QString siteUser = QStringLiteral("demoadmin");
    QString sitePass = QStringLiteral("plumo");
    QString siteDb;               // file that keeps the mirror's items; empty: memory only
    QString sitePath;             // the folder the mirror site lives in ("/shop"); empty: the root

    // Variants of the outside world, each as the program's markers expect it by default.
    QString pageStyle;            // "2014" or "2017": the marketplace's later page layouts
    QString pageCharset = QStringLiteral("gbk");   // or "utf-8": how marketplace pages are encoded
    QString charsetIn = QStringLiteral("both");    // or "header", "meta": where a page names it
    QString clickForm;            // "cdata" or "json": how the API test tool gives the click URL

    // Faults, each off (0 / empty) by default. "Every N": the Nth, 2Nth, ... request.
    int convertFailEvery = 0;     // conversion replies that are not "200 OK"
    int convertNoLinkEvery = 0;   // conversion replies without a click URL
    int convertHangEvery = 0;     // conversion requests that never get a reply
    int listFailEvery = 0;        // shop list pages that fail
    int sessionLossAfter = 0;     // the site forgets the login after this many uploads
    QStringList refuseItems;      // item IDs the site refuses
    QString compress;             // "gzip" or "deflate": compress replies the client accepts so
    int slowMs = 0;               // every reply waits this long
    QList<SimFault> faults;       // --fault

    // Bounds of the simulator itself, so that no client can freeze it or fill its memory.
    int idleTimeoutMs = 30000;    // a connection idle, or with a request unfinished, this long is closed (0: never)
    int recordCount = 1000;       // requests() keeps the latest this many requests
    qint64 recordBytes = 256LL * 1024 * 1024;   // and this many bytes of them (the latest always)
};

// One item of the simulated shop.
struct SimItem {
    QString id, title, price, picture;
    bool gone = false;   // its page says it is unavailable
    bool mall = false;   // its page title ends in the mall suffix
};

class Simulator : public QObject
{
    Q_OBJECT
public:
    explicit Simulator(SimOptions options = {}, QObject *parent = nullptr);
    ~Simulator() override;

    bool listen(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost);
    quint16 port() const;
    QString errorString() const;

    SimOptions &options() { return m_options; }

    // The shop's items, newest (first listed) first.
    const QList<SimItem> &items() const { return m_items; }
    const SimItem *item(const QString &id) const;
    int pageCount() const;

    // The latest requests received (see recordCount, recordBytes), in order; the conversion
    // requests among them.
    const QList<SimRequest> &requests() const { return m_requests; }
    QList<SimRequest> toolRequests() const;
    void clearRequests();

    // What the mirror site holds: item ID -> the fields of its last upload.
    QMap<QString, QMap<QString, QString>> published() const;
    // How often the site took each item (an upload answered "OK"), since the start or clearSite().
    QMap<QString, int> acceptedUploads() const { return m_accepted; }
    // Forgets every item the site holds.
    void clearSite();
    QString lastOpenUrl() const { return m_lastOpenUrl; }

    static QString usage();
    // Reads command-line options; false with a message in error for a bad one.
    static bool parseArguments(const QStringList &args, SimOptions &options, quint16 &port, QString &error);

private:
    struct Reply : HttpReply {
        bool hang = false;          // never answered
    };
    struct Session {
        QString noid;
        bool loggedIn = false;
        int uploads = 0;
    };

    void handle(QTcpSocket *connection, SimRequest request);
    // The fault the request meets, if any (counting it among its target's requests).
    const SimFault *faultFor(const SimRequest &request);
    void applyFault(QTcpSocket *connection, const SimRequest &request, const SimFault &fault);
    void send(QTcpSocket *connection, const SimRequest &request, Reply reply);
    void record(const SimRequest &request);
    Reply route(const SimRequest &request);

    Reply shopList(const SimRequest &request);
    Reply itemPage(const SimRequest &request);
    Reply descDocument(const SimRequest &request);
    Reply picture(const QString &address);
    Reply apiTool(const SimRequest &request);
    Reply mirrorSite(const SimRequest &request);
    Reply siteLogin(const SimRequest &request, Session &session);
    Reply siteUpload(const SimRequest &request, Session &session);
    Reply siteIndex();
    Reply siteItem(const SimRequest &request);
    Session &sessionFor(const SimRequest &request, Reply &reply);
    void buildCatalogue();
    void openSiteStore();
    QString clickUrl(const QString &kind, const QString &id, const QString &pid) const;
    // A marketplace page in the charset the options name, and the <meta> that names it.
    QByteArray marketPage(const QString &text, Reply &reply) const;
    QString charsetMeta() const;

    SimOptions m_options;
    HttpServer *m_http;
    QList<SimItem> m_items;
    QList<SimRequest> m_requests;
    qint64 m_requestBytes = 0;
    QHash<QString, Session> m_sessions;
    QString m_siteConnection;
    QString m_lastOpenUrl;
    int m_toolCount = 0, m_listCount = 0, m_sessionCounter = 0;
    QHash<int, int> m_faultCounts;   // requests seen per fault target
    QMap<QString, int> m_accepted;   // uploads taken per item
};
