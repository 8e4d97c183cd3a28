#ifndef CONFIGPARAMETER_H
#define CONFIGPARAMETER_H

// One entry of the dashboard's parameter table: which bus value it shows, how it is
// scaled and where on the display, as the 22-byte little-endian record it keeps at
// 0x0000. DeviceConfig holds a list of these; CFGRunner fills them from catalogue items.
//
// Engine speed on position 0 (pid 0x0C, cid 0x7E8, div 4, "RPM", "rpm") is
//   0C 00 E8 07 00 00 00 04 00 01 01 00 52 50 4D 20 20 20 20 72 70 6D

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

struct ConfigParameter
{
    static constexpr int size = 22;
    static constexpr int headerSize = 6;
    static constexpr int tailSize = 4;

    quint16 pid = 0;
    quint16 cid = 0;
    quint8 sign = 0;
    struct Math
    {
        qint16 offset = 0;
        quint16 div = 0;
        quint8 mul = 0;
    } math;
    struct Display
    {
        quint8 num = 0;
        quint8 pos = 0;
        char header[headerSize] = {' ', ' ', ' ', ' ', ' ', ' '};
        char tail[tailSize] = {' ', ' ', ' ', ' '};
    } disp;

    // Name: Latin-1, left-aligned, space-filled, cut to 6 bytes.
    void setHeader(const QString &name);
    // Units: Latin-1, right-aligned, space-filled on the left, cut to 4 bytes.
    void setTail(const QString &units);
    QString header() const;
    QString tail() const;

    // The record for a catalogue item: "pid", "cid", "signed", "offset" (rounded),
    // "scale" {"div", "mul"}, "name" and "units". disp.num and disp.pos are the caller's.
    static ConfigParameter recordFromCatalogue(const QJsonObject &entry);
    // To the nearest integer, halves upward: 2.5 gives 3, -2.5 gives -2, -2.6 gives -3.
    // The result keeps the low 16 bits; what is not a finite number gives 0.
    static qint16 roundOffset(double x);

    QByteArray toByteArray() const;
    // Reads the record at `offset`; false (and nothing read) when fewer than 22 bytes remain.
    bool fromByteArray(const QByteArray &data, int offset = 0);

    bool operator==(const ConfigParameter &other) const;
    bool operator!=(const ConfigParameter &other) const { return !(*this == other); }
};

#endif // CONFIGPARAMETER_H
