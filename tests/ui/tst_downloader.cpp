#include <QTest>
class T final : public QObject { Q_OBJECT private slots: void none() {} };
QTEST_MAIN(T)
#include "tst_downloader.moc"
