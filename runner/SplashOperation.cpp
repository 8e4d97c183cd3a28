// The splash picture upload from 0x0400: the converter's byte stream as 6-byte block
// writes, one outstanding at a time, each next address taken from the dashboard's
// acknowledgement. A 2773-byte stream takes 463 writes: 00 C4 <6 bytes>, 06 C4 <6 bytes>,
// ..., D4 CE <last byte> FF FF FF FF FF.

#include "runner/RunnerOperation.h"

#include "config/DashboardMemory.h"
#include "runner/DashboardProtocol.h"

using DashboardMemory::SplashAddress;

class SplashOperation : public RunnerOperation
{
public:
    explicit SplashOperation(CFGRunner &runner) : RunnerOperation(runner, CFGRunner::OP_UploadSplash)
    {
    }

    void start()
    {
        planExchanges(qMax(1, (runner.splashImage.size() + 5) / 6));
        runner.setState(CFGRunner::Uploading);
        emit runner.progress(0);
        runner.writeBlock(DashboardProtocol::chunk(runner.splashImage, 0), SplashAddress);
    }

    // The progress is the offset of the chunk just acknowledged.
    void onAcknowledge(int address) override
    {
        const QByteArray &stream = runner.splashImage;
        const int size = stream.size();
        if (size == 0) {
            done();
            return;
        }
        emit runner.progress(double(quint16(address - SplashAddress)) / size);
        const int next = DashboardProtocol::nextOffset(address, SplashAddress);
        if (next < size)
            runner.writeBlock(DashboardProtocol::chunk(stream, next), SplashAddress + next);
        else
            done();
    }

private:
    void done()
    {
        runner.setState(CFGRunner::Idle);
        finish(true);
    }
};

void CFGRunner::uploadSplash()
{
    if (!link->isOpen())
        return;
    if (state != Idle) {
        refuseOperation(OP_UploadSplash, tr("Another operation is in progress"));
        return;
    }
    const QByteArray stream = converter.isValid() ? converter.bitmap() : QByteArray();
    // The stream must end at or below 0x3FFF, the top of the 14-bit address space.
    if (stream.isEmpty() || stream.size() > DashboardMemory::SplashCapacity) {
        refuseOperation(OP_UploadSplash, tr("Splash is not ready"));
        return;
    }
    splashImage = stream;
    qCInfo(lcRunner) << "uploading splash" << converter.name() << splashImage.size() << "bytes";
    auto *op = new SplashOperation(*this);
    startOperation(op);
    op->start();
}
