#include <QtTest>
class TestMainWindow : public QObject { Q_OBJECT private slots: void none() {} };
QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
