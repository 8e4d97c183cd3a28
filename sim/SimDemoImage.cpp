#include "sim/SimDemoImage.h"

#include <QtEndian>

namespace {
// Items of the catalogue (ui/data/catalogue.json), matched by pid and divisor.
const SimDemoImage::Record kDemoRecords[] = {
    {5, 2024, false, -40, 1, 1, 0, "CLT",
     "\xB0"
     "C"},
    {66, 2024, false, 0, 1000, 1, 1, "VBAT", "V"},
    {47, 2024, false, 0, 255, 100, 2, "FUEL", "%"},
    {11, 2024, false, -1, 100, 1, 3, "BOOST", "bar"},
    {92, 2024, false, -40, 1, 1, 4, "OILT",
     "\xB0"
     "C"},
};
} // namespace

QByteArray SimDemoImage::record(const Record &r)
{
    QByteArray rec(SimDashboard::recordSize, '\0');
    char *p = rec.data();
    qToLittleEndian<quint16>(r.pid, p);
    qToLittleEndian<quint16>(r.cid, p + 2);
    p[4] = char(r.sign ? 1 : 0);
    qToLittleEndian<qint16>(r.offset, p + 5);
    qToLittleEndian<quint16>(r.div, p + 7);
    p[9] = char(r.mul);
    p[10] = 1; // shown on the display
    p[11] = char(r.pos);
    const QByteArray header = QByteArray(r.header).left(6).leftJustified(6, ' ');
    const QByteArray tail = QByteArray(r.tail).left(4).rightJustified(4, ' ');
    rec.replace(12, 6, header);
    rec.replace(18, 4, tail);
    return rec;
}

QByteArray SimDemoImage::boardRecord(quint8 rpm, quint8 speed, quint8 aux, quint16 adelay,
                                     quint16 rflags, quint16 rpmlim, quint16 warnodo,
                                     quint16 warntime, quint16 engidx)
{
    QByteArray b(18, '\0');
    char *p = b.data();
    qToLittleEndian<quint16>(18, p);
    p[2] = 1; // version
    p[3] = char(rpm);
    p[4] = char(speed);
    p[5] = char(aux);
    qToLittleEndian<quint16>(adelay, p + 6);
    qToLittleEndian<quint16>(rflags, p + 8);
    qToLittleEndian<quint16>(rpmlim, p + 10);
    qToLittleEndian<quint16>(warnodo, p + 12);
    qToLittleEndian<quint16>(warntime, p + 14);
    qToLittleEndian<quint16>(engidx, p + 16);
    return b;
}

QByteArray SimDemoImage::parameterTable()
{
    QByteArray table;
    for (const Record &r : kDemoRecords)
        table += record(r);
    return table;
}

void SimDemoImage::install(SimDashboard &dashboard)
{
    dashboard.eraseMemory();
    dashboard.writeMemory(0x0000, parameterTable());
    dashboard.writeMemory(0x0200, boardRecord(1, 0, 0, 650, 1, 6500, 7000, 30000, 2));
    dashboard.setValue(SimDashboard::Odometer, 123456);
    dashboard.setValue(SimDashboard::SavedOdometer, 120000);
    // The engine time runs in seconds, its saved point is in minutes, as a reset saves it:
    // 1256 h 5 min now, serviced at 1100 h, so 156 h of the 500 h limit have gone by.
    dashboard.setValue(SimDashboard::EngineTime, 1256 * 3600 + 5 * 60);
    dashboard.setValue(SimDashboard::SavedEngineTime, 1100 * 60);
}
