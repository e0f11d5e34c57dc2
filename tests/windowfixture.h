#pragma once

// Mouse events go the window system's way: to the window's QWindow, then to the widget under
// the pointer, with the focus, activation and context-menu handling that brings.
#define QTEST_QPA_MOUSE_HANDLING

#include "app/itemlistmodel.h"
#include "app/mainwindow.h"
#include "app/statusline.h"
#include "session/session.h"
#include "web/fetch.h"
#include "store/profiledb.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QSettings>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTreeView>
#include <QWindow>
#include <QtTest>
#include <memory>

// The window keeps its geometry and columns with QSettings: tests keep theirs in a folder of
// their own, never in the developer's settings.
class IsolatedSettings
{
public:
    IsolatedSettings()
    {
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_dir.path());
    }
    static void clear() { QSettings().clear(); }

private:
    QTemporaryDir m_dir;
};

// A window over a fresh profile; rows and settings can be prepared before it loads.
struct Fixture {
    TempProfile profile;
    ScriptedNotifier notes;
    WebService web;
    Session session{notes, web};
    std::unique_ptr<MainWindow> window;

    Fixture() { IsolatedSettings::clear(); }

    ProfileDb &prepare()
    {
        if (!prepared.isOpen())
            prepared.open(profile.path());
        return prepared;
    }
    void exec(const QString &sql)
    {
        QSqlQuery q(prepare().database());
        QVERIFY2(q.exec(sql), qPrintable(sql));
    }
    qint64 addRow(const QString &item, int state, int itemstate = 0, int byid = 1)
    {
        const qint64 id = prepare().insertListed(item, "标题" + item, "", "9.90", byid).value;
        exec(QStringLiteral("UPDATE itemlist SET state=%1, itemstate=%2, web_title='页标题%3', "
                            "web_key='关键词%3', web_doc='描述%3' WHERE id=%4")
                 .arg(state).arg(itemstate).arg(item).arg(id));
        return id;
    }
    MainWindow &open()
    {
        prepared.close();
        window = std::make_unique<MainWindow>(session);
        window->load(profile.path());
        window->show();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("window not active");
        return *window;
    }
    template <class T = QWidget>
    T *get(const QString &name)
    {
        T *w = window->findChild<T *>(name);
        if (!w)
            qWarning("no control %s", qPrintable(name));
        return w;
    }
    // What the status line holds (it shows as much of it as fits).
    QString status() { return get<StatusLine>("Label1")->fullText(); }
    QTreeView *list() { return get<QTreeView>("ListView1"); }
    QWindow *handle() { return window->windowHandle(); }
    void select(std::initializer_list<int> rows)
    {
        list()->clearSelection();
        for (int r : rows)
            list()->selectionModel()->select(window->model()->index(r, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QPoint rowPoint(int row) { return list()->visualRect(window->model()->index(row, 1)).center(); }
    void clickRow(int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(list()->viewport(), button, mods, rowPoint(row));
    }
    // A click on a control, through the window.
    void click(const QString &name) { QTest::mouseClick(get(name), Qt::LeftButton); }
    // Right-clicks a row and picks an item of the menu that opens, as a mouse would.
    void menuOnRow(int row, const QString &action)
    {
        clickRow(row, Qt::RightButton);
        auto *menu = get<QMenu>("rightmenu");
        QTRY_VERIFY(menu->isVisible());
        QAction *a = this->action(action);
        QVERIFY(a && a->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        QTRY_VERIFY(!menu->isVisible());
    }
    // A key pressed while the window has the focus: it goes to the control with the focus.
    void key(Qt::Key k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(handle(), k, mods); }
    void type(const QString &text)
    {
        for (QChar c : text)
            QTest::keyClick(handle(), c.toLatin1());
    }
    QAction *action(const QString &name) { return window->findChild<QAction *>(name); }
    int count(const QString &sql)
    {
        ProfileDb &db = prepare();
        QSqlQuery q(db.database());
        q.exec(sql);
        q.next();
        return q.value(0).toInt();
    }
    QStringList shownItems()
    {
        QStringList items;
        for (int r = 0; r < window->model()->rowCount(); ++r)
            items << window->model()->row(r).item;
        return items;
    }

private:
    ProfileDb prepared;
};
