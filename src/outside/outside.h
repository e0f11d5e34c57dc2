#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Everything the program knows of the outside services: hosts, request paths, fixed texts
// and the markers it relies on in their replies. The other modules take them from here.
namespace outside {

// ---- Hosts
inline const QString itemHost = QStringLiteral("item.taobao.com");
// Every host an item page may be on: the marketplace's and its mall's.
inline const QStringList itemHosts = {itemHost, QStringLiteral("detail.tmall.com")};
inline const QString descHost = QStringLiteral("dsc.taobaocdn.com");
inline const QString imageDomainSuffix = QStringLiteral(".taobaocdn.com");
inline const QString apiToolHost = QStringLiteral("api.taobao.com");
inline const QString mallDomain = QStringLiteral("tmall.com");
// The text every marketplace address contains (the cache clean-up keys on it).
inline const QString marketplaceWord = QStringLiteral("taobao");
constexpr quint16 apiToolPort = 80;

// ---- Marketplace shop list
inline const QString shopListQuery = QStringLiteral("/?search=y&scid=0&orderType=newOn&viewType=grid&pageNum=");
inline const QString pageInfoMarker = QStringLiteral("page-info\">");
inline const QString itemBlockSeparator = QStringLiteral("<div class=\"item\">");
inline const QString listPictureMarker = QStringLiteral("src=\"");
inline const QString listTitleMarker = QStringLiteral("permalink\">");
// "http://" + shop address + the list query + page number.
QString shopListAddress(const QString &shop, int page);

// ---- Marketplace item page
inline const QString itemPagePath = QStringLiteral("/item.htm?id=");
inline const QString unavailableText1 = QStringLiteral("对不起，暂时不提供查看该宝贝的信息");
inline const QString unavailableText2 = QStringLiteral("您查看的宝贝不存在");
inline const QString titleSuffixShop = QStringLiteral("-淘宝网");
inline const QString titleSuffixMall = QStringLiteral("-淘宝商城");
inline const QString descriptionMarker = QStringLiteral("description\" content=\"");
inline const QString keywordsMarker = QStringLiteral("keywords\" content=\"");
inline const QString attributesMarker = QStringLiteral("attributes-list\">");
inline const QString priceMarker = QStringLiteral("id=\"J_StrPrice\"");
inline const QString pictureMarker = QStringLiteral("<img id=\"J_ImgBooth\" src=\"");
inline const QString descriptionBoilerplate = QStringLiteral("欢迎前来淘宝网");
inline const QString keywordsBoilerplate = QStringLiteral("淘宝,掏宝,网上购物,店铺, ");
// "http://" + item host + "/item.htm?id=" + the item ID.
QString itemPageAddress(const QString &itemId);
// "http://" + description CDN host + "/": the start of every description address.
QString descriptionPrefix();

// ---- Description document: the markup sits in a fixed wrapper.
constexpr int descWrapperHead = 10;
constexpr int descWrapperTail = 3;

// ---- API test tool (conversion)
inline const QString apiToolPath = QStringLiteral("/apitools/getResult.htm");
inline const QString apiToolRefererPath = QStringLiteral("/apitools/apiTools.htm");
// The app value sent as both app_key and app_secret (four CJK characters, percent-encoded UTF-8).
inline const QString apiAppValue = QStringLiteral("%E5%8D%A0%E4%BD%8D%E6%96%87%E5%AD%97");
// The built-in publisher ID of the pipeline's conversions.
inline const QString builtinPid = QStringLiteral("16243710");
inline const QString convertSuccessMark = QStringLiteral("200 OK");
constexpr int convertSuccessWithin = 50;
inline const QString clickUrlStart = QStringLiteral("&lt;click_url&gt;");
inline const QString clickUrlEnd = QStringLiteral("&lt;/click_url&gt;");
inline const QString clickUrlRemoved = QStringLiteral("amp;");
// Item and shop conversion bodies: head + ID + tail.
QString itemConvertHead();
QString itemConvertTail(const QString &pid);
QString shopConvertHead();
QString shopConvertTail(const QString &pid);
// The query of the tool's GET form, with the built-in publisher ID: item (num_iids) and shop
// (sids) conversion. Only the unused synchronous lookup sends it.
QString itemConvertQuery(const QString &itemId);
QString shopConvertQuery(const QString &sid);
// The User-Agent of the raw conversion request (not the browser set's).
QString convertUserAgent();

// ---- Mirror site administration
inline const QString loginPath = QStringLiteral("/admin/soft_login.asp");
inline const QString uploadPath = QStringLiteral("/admin/user_update.asp");
inline const QString imagePagePath = QStringLiteral("/img.asp?img=");
inline const QString challengeMarker = QStringLiteral("NOID:");
inline const QString loginOk = QStringLiteral("OK");
inline const QString loginRefusedMarker = QStringLiteral("ERR");
inline const QString uploadOk = QStringLiteral("OK");
inline const QString relogMarker = QStringLiteral("请重新登录");
// The image-CDN domain suffix in uploaded descriptions is replaced by this mask.
inline const QString imageDomainMask = QStringLiteral("AAAAAAAAAA");
// The mirror site as the settings name it (web_server): a host, an optional port and an
// optional folder the site lives in, "mirror.example.net:8080/shop".
// The Host header value: the host and port, never the folder.
QString siteHost(const QString &webserver);
// The folder with its leading "/" ("/shop"), empty for a site at the root.
QString siteFolder(const QString &webserver);
// "http://" + host and port + folder + path.
QString siteAddress(const QString &webserver, const QString &path);

// ---- Fixed request texts
// The User-Agent of the browser-like header sets.
QString browserUserAgent();

// ---- The connect-to switch
// With VELORIX_CONNECT_TO=HOST:PORT set, every outside connection goes to that address
// instead of the host named in the address; what is sent stays as for the real host.
struct Endpoint {
    QString host;
    quint16 port = 0;
};
// A list "NAME=HOST:PORT,...,HOST:PORT" sends the hosts NAME (and its subdomains) elsewhere, and
// every other host to the entry without a name.
// A switch that is set but cannot be used sends nowhere (an Endpoint without a host), never to the
// real host; connectToProblem() then says why, in the operator's words.
std::optional<Endpoint> connectTo(const QString &host);
QString connectToProblem();
// Where a connection for this address really goes (the address itself without the switch).
QUrl route(const QUrl &address);
// The Host header value of an address: its host, with the port when one is given.
QString hostHeader(const QUrl &address);

} // namespace outside
