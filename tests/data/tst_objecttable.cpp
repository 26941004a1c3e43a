// The object and operation name tables and the reply lifetimes.

#include "data/tdata.h"

#include <QTest>

class TestObjectTable : public QObject
{
    Q_OBJECT
private slots:
    void objects_data();
    void objects();
    void operations_data();
    void operations();
    void lifetimeAboveTable_data();
    void lifetimeAboveTable();
};

void TestObjectTable::objects_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("lifetime");
    const struct
    {
        const char16_t* name;
        uint lifetime;
    } rows[] = {
        {u"Global", 3600000},     {u"SMS", 2000},
        {u"Ars", 60000},          {u"Trasa", 60000},
        {u"Oprávnění A", 120000}, {u"Oprávnění B", 120000},
        {u"Oprávnění C", 120000}, {u"Oprávnění D", 120000},
        {u"Oprávnění E", 120000}, {u"Oprávnění F", 120000},
        {u"Oprávnění H", 120000}, {u"Skupiny", 5000},
        {u"Čísla služeb", 60000}, {u"Zkrácené volby", 60000},
        {u"Čísla linek", 60000},  {u"VLIndividual", 60000},
        {u"VLProvoz", 2000},      {u"Zprávy", 60000},
        {u"PersonalDial", 60000}, {u"COIndividual", 60000},
        {u"COProvoz", 60000},     {u"Blok služeb", 60000},
        {u"Stav linek", 300},     {u"Masky zkr.voleb", 60000},
        {u"Paměť voleb", 60000},  {u"SYSIndividual", 60000},
        {u"SYSProvoz", 60000},
    };
    static_assert(std::size(rows) == 27);
    for (int code = 0; code < 27; ++code) {
        QTest::addRow("object %d", code)
            << code << QString::fromUtf16(rows[code].name) << rows[code].lifetime;
    }
}

void TestObjectTable::objects()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QFETCH(uint, lifetime);
    QCOMPARE(QString::fromUtf8(ObjectTable[code].name), name);
    QCOMPARE(ObjectTable[code].lifetimeMs, lifetime);
    QCOMPARE(objectLifetimeMs(uint8_t(code)), lifetime);
}

void TestObjectTable::operations_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    const char16_t* names[] = {u"Čtení", u"Zápis", u"Info", u"SaveEPROM", u"GetUCT", u"RepUCT"};
    for (int code = 0; code < 6; ++code)
        QTest::addRow("operation %d", code) << code << QString::fromUtf16(names[code]);
}

void TestObjectTable::operations()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(QString::fromUtf8(OperationNames[code]), name);
}

void TestObjectTable::lifetimeAboveTable_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("27") << 27;
    QTest::newRow("200") << 200;
    QTest::newRow("255") << 255;
}

void TestObjectTable::lifetimeAboveTable()
{
    QFETCH(int, code);
    QCOMPARE(objectLifetimeMs(uint8_t(code)), 10u);
}

QTEST_GUILESS_MAIN(TestObjectTable)
#include "tst_objecttable.moc"
