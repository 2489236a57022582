// The simulator's pieces without a pty: checks, frame decoding, the device's
// behaviour, reply shaping, output pacing, the command-line and line file
// parsers and the speeds an emulated adapter's trace reports.

#include "adapterrate.h"
#include "devicemodel.h"
#include "outputschedule.h"
#include "replyshaper.h"
#include "requestdecoder.h"
#include "simchecksums.h"
#include "simoptions.h"
#include "simprotocol.h"

#include "support/bytes.h"
#include "support/exampledevice.h"

#include <QtTest>

Q_DECLARE_METATYPE(SimFamily)
Q_DECLARE_METATYPE(SimProtocol)
Q_DECLARE_METATYPE(LineUnit)

namespace {

using testsupport::hex;

DecodedRequest decodeOne(SimFamily family, const QByteArray &frame, int blockSize = 0)
{
    RequestDecoder decoder(family, blockSize);
    const QList<DecodedRequest> decoded = decoder.feed(frame);
    return decoded.size() == 1 ? decoded.first() : DecodedRequest{};
}

DecodedRequest request(char kind, int cell = -1, int value = -1, const QByteArray &data = {})
{
    DecodedRequest r;
    r.kind = kind;
    r.cell = cell;
    r.value = value;
    r.data = data;
    return r;
}

LineUnit lineUnit(SimProtocol protocol, const IdentityOption &identity, const QMap<int, quint8> &cells,
                  const QMap<int, quint8> &stuckCells = {}, int leavesAfterPings = 3)
{
    return LineUnit{protocol, identity, cells, stuckCells, leavesAfterPings};
}

QList<int> identityFields(const IdentityOption &id)
{
    return {id.deviceId, id.hwVersion, id.blVersion, id.fwMajor, id.fwMinor, id.fwBuild};
}

// The text of a file beside the line file, or nothing.
std::optional<QString> textBeside(const QString &folder, const QString &name)
{
    QFile file(QDir(folder).filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

}  // namespace

class TestSimulatorParts : public QObject
{
    Q_OBJECT

private slots:
    void checksumsMeetTheirCheckValues()
    {
        QCOMPARE(simcheck::crc32("123456789"), 0xCBF43926u);
        QCOMPARE(simcheck::crc16("123456789"), quint16(0x4B37));
        QCOMPARE(simcheck::crc32("MST"), 0x7A935CFBu);
        QCOMPARE(simcheck::sum8("MSET"), quint8(0x39));
        QCOMPARE(simcheck::sum8(hex("4D72C8C8")), quint8(0x4F));  // wraps modulo 256
    }

    void okReplies()
    {
        QCOMPARE(replyFrame(SimFamily::Vorn, OkByte), hex("4D4FB67F6DE2"));
        QCOMPARE(replyFrame(SimFamily::Kelpa, OkByte), hex("4D4F9C"));
        QCOMPARE(replyFrame(SimFamily::Ulma, OkByte), hex("4D4F9C"));
    }

    void baudRates()
    {
        QCOMPARE(baudRateOf(SimProtocol::Vorn), 115200);
        QCOMPARE(baudRateOf(SimProtocol::Kelpa), 9600);
        QCOMPARE(baudRateOf(SimProtocol::UlmaFast), 19000);
        QCOMPARE(baudRateOf(SimProtocol::UlmaSlow), 4800);
    }

    void decodesEveryRequest_data()
    {
        QTest::addColumn<SimFamily>("family");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<char>("kind");
        QTest::addColumn<int>("cell");
        QTest::addColumn<int>("value");
        QTest::addColumn<QByteArray>("data");

        const QByteArray none;
        const QByteArray block = hex("01020304");
        QTest::newRow("vorn ping") << SimFamily::Vorn << hex("554D5354FB5C937A") << 'S' << -1 << -1 << none;
        QTest::newRow("vorn read") << SimFamily::Vorn << hex("554D52C8D5B2319A") << 'R' << 200 << -1 << none;
        QTest::newRow("vorn write") << SimFamily::Vorn << hex("554D5705072F06DAC2") << 'W' << 5 << 7 << none;
        QTest::newRow("vorn block") << SimFamily::Vorn << hex("554D46010203042931CF42") << 'F' << -1 << -1 << block;
        QTest::newRow("kelpa ping") << SimFamily::Kelpa << hex("554D53455439") << 'S' << -1 << -1 << none;
        QTest::newRow("kelpa read") << SimFamily::Kelpa << hex("554D5240300F") << 'R' << 64 << -1 << none;
        QTest::newRow("kelpa write") << SimFamily::Kelpa << hex("554D570507B0") << 'W' << 5 << 7 << none;
        QTest::newRow("kelpa block") << SimFamily::Kelpa << hex("554D46010203042BA1") << 'F' << -1 << -1 << block;
        QTest::newRow("ulma ping") << SimFamily::Ulma << hex("4D73657499") << 'S' << -1 << -1 << none;
        QTest::newRow("ulma read") << SimFamily::Ulma << hex("4D72C8C84F") << 'R' << 200 << -1 << none;
        QTest::newRow("ulma write") << SimFamily::Ulma << hex("4D770507D0") << 'W' << 5 << 7 << none;
        QTest::newRow("ulma block") << SimFamily::Ulma << hex("4D6601020304C1A6") << 'F' << -1 << -1 << block;
        QTest::newRow("ulma bootloader") << SimFamily::Ulma << hex("4D75706496") << 'U' << -1 << -1 << none;
    }

    void decodesEveryRequest()
    {
        QFETCH(SimFamily, family);
        QFETCH(QByteArray, frame);
        QFETCH(char, kind);
        QFETCH(int, cell);
        QFETCH(int, value);
        QFETCH(QByteArray, data);

        const DecodedRequest decoded = decodeOne(family, frame, 4);
        QCOMPARE(decoded.kind, kind);
        QCOMPARE(decoded.cell, cell);
        QCOMPARE(decoded.value, value);
        QCOMPARE(decoded.data, data);
        QCOMPARE(decoded.raw, frame);
    }

    void ignoresFramesThatAreNotRequests_data()
    {
        QTest::addColumn<SimFamily>("family");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("blockSize");

        QTest::newRow("vorn ping, check off by one") << SimFamily::Vorn << hex("554D5354FB5C937B") << 4;
        QTest::newRow("kelpa ping, wrong sum") << SimFamily::Kelpa << hex("554D5345543A") << 4;
        QTest::newRow("kelpa read without the 0") << SimFamily::Kelpa << hex("554D5240310F") << 4;
        QTest::newRow("ulma read, cells differ") << SimFamily::Ulma << hex("4D72C8C74E") << 4;
        QTest::newRow("kelpa block, crc over header") << SimFamily::Kelpa << hex("554D4601020304C1A6") << 4;
        QTest::newRow("ulma block, crc16 lsb first") << SimFamily::Ulma << hex("4D6601020304A6C1") << 4;
        QTest::newRow("block without block size") << SimFamily::Kelpa << hex("554D46010203042BA1") << 0;
        QTest::newRow("block of another size") << SimFamily::Kelpa << hex("554D46010203042BA1") << 5;
        QTest::newRow("bootloader entry in kelpa") << SimFamily::Kelpa << hex("4D75706496") << 4;
        QTest::newRow("kelpa ping to vorn") << SimFamily::Vorn << hex("554D53455439") << 4;
        QTest::newRow("vorn ping to ulma") << SimFamily::Ulma << hex("554D5354FB5C937A") << 4;
    }

    void ignoresFramesThatAreNotRequests()
    {
        QFETCH(SimFamily, family);
        QFETCH(QByteArray, frame);
        QFETCH(int, blockSize);

        RequestDecoder decoder(family, blockSize);
        QVERIFY(decoder.feed(frame).isEmpty());
        QVERIFY(decoder.feed(QByteArray(16, '\0')).isEmpty());
    }

    void resynchronisesAfterGarbage()
    {
        RequestDecoder decoder(SimFamily::Vorn);
        // "UM" and "U" look like frame starts; the real ping follows them.
        const QList<DecodedRequest> decoded = decoder.feed(hex("00554D55") + hex("554D5354FB5C937A"));
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(decoded.first().kind, 'S');
        QCOMPARE(decoder.pendingBytes(), 0);
    }

    void findsTheRequestAfterOneWithABadCheck()
    {
        RequestDecoder decoder(SimFamily::Kelpa);
        const QList<DecodedRequest> decoded = decoder.feed(hex("554D5345543A") + hex("554D5240300F"));
        QCOMPARE(decoded.size(), 1);
        QCOMPARE(decoded.first().kind, 'R');
        QCOMPARE(decoded.first().cell, 64);
    }

    void assemblesFramesFedInPieces()
    {
        RequestDecoder decoder(SimFamily::Vorn);
        const QByteArray frames = hex("554D5705072F06DAC2554D52C8D5B2319A");
        QList<DecodedRequest> decoded;
        for (char byte : frames)
            decoded += decoder.feed(QByteArray(1, byte));
        QCOMPARE(decoded.size(), 2);
        QCOMPARE(decoded.at(0).kind, 'W');
        QCOMPARE(decoded.at(1).kind, 'R');
        QCOMPARE(decoded.at(1).cell, 200);
    }

    void resetDropsAnUnfinishedFrame()
    {
        RequestDecoder decoder(SimFamily::Ulma, 4);
        QVERIFY(decoder.feed(hex("4D66")).isEmpty());  // could be a block frame
        QCOMPARE(decoder.pendingBytes(), 2);
        decoder.reset();
        QCOMPARE(decoder.feed(hex("4D73657499")).size(), 1);
    }

    void writesAreBoundedByCellLimits_data()
    {
        QTest::addColumn<int>("written");
        QTest::addColumn<int>("stored");
        QTest::newRow("below") << 3 << 10;
        QTest::newRow("inside") << 55 << 55;
        QTest::newRow("above") << 250 << 100;
    }

    void writesAreBoundedByCellLimits()
    {
        QFETCH(int, written);
        QFETCH(int, stored);
        DeviceModel model;
        model.setProtocol(SimProtocol::Kelpa);
        model.setCellLimits(10, 10, 100);
        const std::optional<QByteArray> reply = model.answer(request('W', 10, written));
        QVERIFY(reply);
        QCOMPARE(int(static_cast<quint8>(reply->at(1))), stored);
        QCOMPARE(int(model.cell(10)), stored);
    }

    void readsAnswerTheCell()
    {
        DeviceModel model;
        model.setCell(200, 21);
        QCOMPARE(model.answer(request('R', 200)), std::optional<QByteArray>(hex("4D155CC7D369")));
    }

    void identityCellsFollowTheProtocol()
    {
        DeviceModel vorn;
        vorn.setIdentity(21, 2, 3, 4, 13, 7);
        const QList<int> vornCells{200, 202, 203, 205, 206, 212};
        const QList<int> vornValues{21, 2, 3, 4, 13, 7};
        for (int i = 0; i < vornCells.size(); ++i)
            QCOMPARE(int(vorn.cell(vornCells[i])), vornValues[i]);

        DeviceModel ulma;
        ulma.setProtocol(SimProtocol::UlmaSlow);
        ulma.setIdentity(12, 2, 3, 4, 13, 7);
        QCOMPARE(int(ulma.cell(64)), 12);
        QCOMPARE(int(ulma.cell(65)), 4);
        QCOMPARE(int(ulma.cell(66)), 13);
        QCOMPARE(int(ulma.cell(200)), 0);
    }

    void failedCellNeverAnswersAndKeepsItsValue()
    {
        DeviceModel model;
        model.setCell(7, 1);
        model.failCell(7);
        QVERIFY(!model.answer(request('R', 7)));
        QVERIFY(!model.answer(request('W', 7, 9)));
        QCOMPARE(int(model.cell(7)), 1);
        QVERIFY(model.answer(request('R', 8)));
    }

    void droppedRepliesStillAct()
    {
        DeviceModel model;
        model.dropReplies(2);
        QVERIFY(!model.answer(request('W', 5, 9)));
        QVERIFY(!model.answer(request('S')));
        QVERIFY(model.answer(request('S')));
        QCOMPARE(int(model.cell(5)), 9);
    }

    void blocksAreRecordedAndAcknowledged()
    {
        DeviceModel model;
        model.setProtocol(SimProtocol::Kelpa);
        QCOMPARE(model.answer(request('F', -1, -1, "ab")), std::optional<QByteArray>(hex("4D4F9C")));
        QVERIFY(model.answer(request('F', -1, -1, "cd")));
        QCOMPARE(model.receivedBlocks(), (QList<QByteArray>{"ab", "cd"}));
    }

    void refusedBlockStaysRefused()
    {
        DeviceModel model;
        QVERIFY(model.answer(request('F', -1, -1, "b0")));
        model.neverAcknowledgeBlock(1);
        QVERIFY(model.answer(request('F', -1, -1, "b1")));
        for (int attempt = 0; attempt < 5; ++attempt)
            QVERIFY(!model.answer(request('F', -1, -1, "b2")));
        QCOMPARE(model.receivedBlocks().size(), 7);
        model.neverAcknowledgeBlock(-1);
        QVERIFY(model.answer(request('F', -1, -1, "b2")));
    }

    void newFirmwareAfterTheLastAcknowledgement_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<int>("framesNeeded");
        QTest::addColumn<int>("majorCell");
        QTest::addColumn<int>("buildCell");
        QTest::newRow("vorn") << SimProtocol::Vorn << 3 << 205 << 212;
        QTest::newRow("kelpa sends every block twice") << SimProtocol::Kelpa << 6 << 65 << -1;
        QTest::newRow("ulma") << SimProtocol::UlmaFast << 3 << 65 << -1;
    }

    void newFirmwareAfterTheLastAcknowledgement()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(int, framesNeeded);
        QFETCH(int, majorCell);
        QFETCH(int, buildCell);

        DeviceModel model;
        model.setProtocol(protocol);
        model.setIdentity(1, 1, 1, 4, 13, 2);
        model.answer(request('F', -1, -1, "early"));  // before the upload: does not count
        model.setFirmwareAfterUpload(5, 1, 9, 3);
        model.neverAcknowledgeBlock(1);
        model.answer(request('F', -1, -1, "x"));
        model.answer(request('F', -1, -1, "refused"));  // not acknowledged, does not count
        model.neverAcknowledgeBlock(-1);
        for (int i = 1; i < framesNeeded - 1; ++i)
            model.answer(request('F', -1, -1, "x"));
        QCOMPARE(int(model.cell(majorCell)), 4);
        model.answer(request('F', -1, -1, "last"));
        QCOMPARE(int(model.cell(majorCell)), 5);
        QCOMPARE(int(model.cell(majorCell + 1)), 1);
        if (buildCell >= 0)
            QCOMPARE(int(model.cell(buildCell)), 9);
    }

    // The example packages' images name their version; the controller runs it.
    void firmwareRunsTheVersionItsImageNames_data()
    {
        QTest::addColumn<SimProtocol>("protocol");
        QTest::addColumn<int>("passes");
        QTest::addColumn<int>("majorCell");
        QTest::addColumn<bool>("keepsVersion");
        QTest::newRow("vorn") << SimProtocol::Vorn << 1 << 205 << false;
        QTest::newRow("kelpa sends the image twice") << SimProtocol::Kelpa << 2 << 65 << false;
        QTest::newRow("ulma") << SimProtocol::UlmaSlow << 1 << 65 << false;
        QTest::newRow("an update that does not take") << SimProtocol::Vorn << 1 << 205 << true;
    }

    void firmwareRunsTheVersionItsImageNames()
    {
        QFETCH(SimProtocol, protocol);
        QFETCH(int, passes);
        QFETCH(int, majorCell);
        QFETCH(bool, keepsVersion);
        DeviceModel model;
        model.setProtocol(protocol);
        model.setIdentity(1, 1, 1, 4, 13, 2);
        model.setKeepsVersion(keepsVersion);
        const QByteArray first = QByteArray("KOVA-FW") + char(5) + char(2) + char(0) + char(3) + "rest";
        QVERIFY(firmwareTagOf(first).has_value());
        QVERIFY(!firmwareTagOf("KOVA-FW").has_value());
        for (int pass = 0; pass < passes; ++pass) {
            QCOMPARE(int(model.cell(majorCell)), 4);
            for (const QByteArray &block : {first, QByteArray("b1"), QByteArray("b2")})
                model.answer(request('F', -1, -1, block));
        }
        QCOMPARE(int(model.cell(majorCell)), keepsVersion ? 4 : 5);
        QCOMPARE(int(model.cell(majorCell + 1)), keepsVersion ? 13 : 2);
    }

    void bootloaderEntriesAreCounted()
    {
        DeviceModel model;
        model.setProtocol(SimProtocol::UlmaFast);
        QCOMPARE(model.answer(request('U')), std::optional<QByteArray>(hex("4D4F9C")));
        model.answer(request('U'));
        QCOMPARE(model.bootloaderEntries(), 2);
    }

    void shapesReplies()
    {
        const QByteArray ack = hex("4D4FB67F6DE2");
        ReplyFaults garbled;
        garbled.garble = true;
        QCOMPARE(shapeReply(hex("4D4F9C"), ReplyTo::Command, garbled).first().bytes, hex("4D4F63"));

        ReplyFaults split;
        split.splitPieces = 4;
        split.splitGapMs = 30;
        const QList<ReplyPiece> pieces = shapeReply(ack, ReplyTo::Command, split);
        QCOMPARE(pieces.size(), 4);
        QCOMPARE(pieces.at(0).bytes, hex("4D4F"));
        QCOMPARE(pieces.at(1).bytes, hex("B67F"));
        QCOMPARE(pieces.at(2).bytes, hex("6D"));
        QCOMPARE(pieces.at(3).bytes, hex("E2"));
        QCOMPARE(pieces.at(0).gapBeforeMs, 0);
        QCOMPARE(pieces.at(3).gapBeforeMs, 30);

        ReplyFaults tooMany;
        tooMany.splitPieces = 10;
        QCOMPARE(shapeReply(hex("4D4F9C"), ReplyTo::Command, tooMany).size(), 3);

        ReplyFaults ackFaults;
        ackFaults.ackInPieces = true;
        ackFaults.ackExtraBytes = 2;
        const QList<ReplyPiece> ackPieces = shapeReply(hex("4D4F9C"), ReplyTo::Block, ackFaults);
        QCOMPARE(ackPieces.size(), 3);
        QCOMPARE(ackPieces.last().bytes, hex("9C0000"));
        QCOMPARE(ackPieces.last().gapBeforeMs, AcknowledgementPieceGapMs);
        // Only acknowledgements carry the extra bytes.
        QCOMPARE(shapeReply(hex("4D4F9C"), ReplyTo::Command, ackFaults).first().bytes, hex("4D4F9C"));

        // Late: the last chunk leaves 90 ms after the echo; a ping's reply is never late.
        ReplyFaults late;
        late.lateMs = 90;
        late.lateChunks = 4;
        late.ackExtraBytes = 1;
        const QList<ReplyPiece> latePieces = shapeReply(ack, ReplyTo::Block, late);
        QCOMPARE(latePieces.size(), 4);
        int sinceEcho = 0;
        for (const ReplyPiece &piece : latePieces) {
            QVERIFY(piece.gapBeforeMs >= 22 && piece.gapBeforeMs <= 23);
            sinceEcho += piece.gapBeforeMs;
        }
        QCOMPARE(sinceEcho, 90);
        QCOMPARE(latePieces.last().bytes, hex("E200"));
        // Never more chunks than bytes; the last still leaves at 90 ms.
        const QList<ReplyPiece> lateCommand = shapeReply(hex("4D4F9C"), ReplyTo::Command, late);
        QCOMPARE(lateCommand.size(), 3);
        QCOMPARE(lateCommand.at(0).gapBeforeMs + lateCommand.at(1).gapBeforeMs + lateCommand.at(2).gapBeforeMs, 90);
        const QList<ReplyPiece> ping = shapeReply(hex("4D4F9C"), ReplyTo::Ping, late);
        QCOMPARE(ping.size(), 1);
        QCOMPARE(ping.first().gapBeforeMs, 0);
    }

    void pacesBytesByAbsoluteDeadlines()
    {
        OutputSchedule schedule;
        const qint64 end = schedule.add(OutputSchedule::Sender::Echo, "abc", 1000, 100);
        QCOMPARE(end, qint64(1300));
        QCOMPARE(schedule.nextDeadline(), std::optional<qint64>(1100));
        QCOMPARE(schedule.takeDue(1099), QByteArray());
        QCOMPARE(schedule.takeDue(1250), QByteArray("ab"));
        // Late arrival does not push later bytes back: "c" is still due at 1300.
        QCOMPARE(schedule.takeDue(1300), QByteArray("c"));
        QVERIFY(!schedule.nextDeadline());

        // In one piece, all at the moment the last byte is through.
        QCOMPARE(schedule.add(OutputSchedule::Sender::Echo, "KOVA", 2000, 100, true), qint64(2400));
        QCOMPARE(schedule.nextDeadline(), std::optional<qint64>(2400));
        QCOMPARE(schedule.takeDue(2399), QByteArray());
        QCOMPARE(schedule.takeDue(2400), QByteArray("KOVA"));
    }

    void echoAndReplyShareTheLineInTimeOrder()
    {
        OutputSchedule schedule;
        schedule.add(OutputSchedule::Sender::Device, "R", 500, 0);
        // A sender's next bytes queue behind its earlier ones ...
        QCOMPARE(schedule.add(OutputSchedule::Sender::Device, "S", 100, 0), qint64(500));
        // ... but the echo does not wait for the device.
        schedule.add(OutputSchedule::Sender::Echo, "e", 200, 0);
        QCOMPARE(schedule.takeDue(1000), QByteArray("eRS"));
    }

    void parsesCellLists()
    {
        QString error;
        const auto cells = parseCellList("# cells\n\n200 21\n  5\t7   # speed\n5 8\n", &error);
        QVERIFY(cells);
        QCOMPARE(cells->size(), 2);
        QCOMPARE(int(cells->value(200)), 21);
        QCOMPARE(int(cells->value(5)), 8);

        QVERIFY(!parseCellList("1 2\n256 1\n", &error));
        QVERIFY(error.contains("line 2"));
        QVERIFY(!parseCellList("1 300\n", &error));
        QVERIFY(!parseCellList("1 2 3\n", &error));
        QVERIFY(!parseCellList("0x10 2\n", &error));
    }

    void parsesCommandLineValues()
    {
        const auto assignment = parseCellAssignment("5=7");
        QVERIFY(assignment);
        QCOMPARE(assignment->first, 5);
        QCOMPARE(int(assignment->second), 7);
        QVERIFY(!parseCellAssignment("5:7"));
        QVERIFY(!parseCellAssignment("5=256"));

        const auto identity = parseIdentity("21,2,3,4,13,7");
        QVERIFY(identity);
        QCOMPARE(int(identity->deviceId), 21);
        QCOMPARE(int(identity->fwBuild), 7);
        QVERIFY(!parseIdentity("21,2,3,4,13"));

        const auto after = parseAfterUpload("5.1.9,32");
        QVERIFY(after);
        QCOMPARE(int(after->fwMajor), 5);
        QCOMPARE(int(after->fwMinor), 1);
        QCOMPARE(int(after->fwBuild), 9);
        QCOMPARE(after->blockCount, 32);
        QVERIFY(!parseAfterUpload("5.1,32"));
        QVERIFY(!parseAfterUpload("5.1.9"));

        const auto late = parseLateReply("90,3");
        QVERIFY(late);
        QCOMPARE(late->ms, 90);
        QCOMPARE(late->chunks, 3);
        QCOMPARE(parseLateReply("15")->chunks, 1);
        QVERIFY(!parseLateReply("15,0"));
        QVERIFY(!parseLateReply("-1"));
        QVERIFY(!parseLateReply("15,2,1"));
    }

    void parsesLineFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<LineUnit>>("units");
        QTest::addColumn<QString>("error");

        const QMap<int, quint8> cells{{200, 21}, {206, 12}, {64, 7}, {10, 1}};
        QTest::newRow("two units")
            << "# a line\n\ndialect=vorn identity=9,2,3,4,13,7 cells=unit.cells leaves-after=5  # first\n"
               "  cells=unit.cells stuck=11=5 stuck=12=8\n"
            << QList<LineUnit>{lineUnit(SimProtocol::Vorn, {9, 2, 3, 4, 13, 7}, {{64, 7}, {10, 1}}, {}, 5),
                               lineUnit(SimProtocol::Vorn, {}, cells, {{11, 5}, {12, 8}})}
            << QString();
        QTest::newRow("the identity takes the cells of its dialect")
            << "dialect=ulma-slow identity=12,1,1,2,0,0 cells=unit.cells\n"
            << QList<LineUnit>{lineUnit(SimProtocol::UlmaSlow, {12, 1, 1, 2, 0, 0}, {{200, 21}, {206, 12}, {10, 1}})}
            << QString();
        const QList<LineUnit> none;
        QTest::newRow("unknown dialect") << "dialect=vorn\ndialect=ulma\n"
                                         << none << "line 2: unknown dialect \"ulma\"";
        QTest::newRow("unknown key") << "colour=red" << none << "line 1: unknown word \"colour=red\"";
        QTest::newRow("word without value") << "vorn" << none << "line 1: unknown word \"vorn\"";
        QTest::newRow("key twice") << "dialect=vorn dialect=kelpa" << none << "line 1: dialect given twice";
        QTest::newRow("short identity") << "identity=21,2,3" << none
                                        << "line 1: identity wants id,hw,bl,major,minor,build, got \"21,2,3\"";
        QTest::newRow("missing cell file") << "cells=gone.cells" << none << "line 1: cannot read gone.cells";
        QTest::newRow("bad cell file") << "\ncells=bad.cells" << none
                                       << "line 2: bad.cells: line 2: expected \"cell value\", got \"10\"";
        QTest::newRow("stuck without value") << "stuck=11" << none << "line 1: stuck wants N=V, got \"11\"";
        QTest::newRow("leaves at once") << "leaves-after=0" << none
                                        << "line 1: leaves-after wants a number of pings from 1, got \"0\"";
        QTest::newRow("no unit") << "# nothing\n\n" << none << "no unit";
    }

    void parsesLineFiles()
    {
        QFETCH(QString, text);
        QFETCH(QList<LineUnit>, units);
        QFETCH(QString, error);

        const QMap<QString, QString> files{{"unit.cells", "200 21\n206 12\n64 7\n10 1\n"}, {"bad.cells", "10 1\n10\n"}};
        const LineFileReader readFile = [&files](const QString &name) -> std::optional<QString> {
            if (!files.contains(name))
                return std::nullopt;
            return files.value(name);
        };
        QString problem;
        const std::optional<QList<LineUnit>> parsed = parseLineFile(text, readFile, &problem);
        QCOMPARE(problem, error);
        QCOMPARE(parsed.has_value(), error.isEmpty());
        const QList<LineUnit> got = parsed.value_or(QList<LineUnit>());
        QCOMPARE(got.size(), units.size());
        for (int i = 0; i < got.size(); ++i) {
            QCOMPARE(got.at(i).protocol, units.at(i).protocol);
            QCOMPARE(identityFields(got.at(i).identity), identityFields(units.at(i).identity));
            QCOMPARE(got.at(i).cells, units.at(i).cells);
            QCOMPARE(got.at(i).stuckCells, units.at(i).stuckCells);
            QCOMPARE(got.at(i).leavesAfterPings, units.at(i).leavesAfterPings);
        }
    }

    // The demo's line: two good units, one of another controller, and one
    // whose stuck cell a load of the delivered settings finds.
    void exampleLineHasItsFourUnits()
    {
        const QString folder = testsupport::sourcePath("examples/line");
        QString error;
        const auto units = parseLineFile(
            textBeside(folder, "vorn-line.txt").value_or(QString()),
            [&folder](const QString &name) { return textBeside(folder, name); }, &error);
        QVERIFY2(units, qPrintable(error));
        QCOMPARE(units->size(), 4);
        QList<QList<int>> identities;
        for (const LineUnit &unit : *units)
            identities.append(identityFields(unit.identity));
        QCOMPARE(
            identities,
            (QList<QList<int>>{{21, 2, 3, 4, 12, 7}, {21, 2, 3, 4, 13, 7}, {9, 2, 3, 4, 12, 7}, {21, 2, 3, 4, 12, 7}}));
        const QMap<int, quint8> delivered = testsupport::exampleCells("vorn");
        QCOMPARE(units->at(0).stuckCells.size() + units->at(1).stuckCells.size() + units->at(2).stuckCells.size(), 0);
        const QMap<int, quint8> stuck = units->at(3).stuckCells;
        QCOMPARE(stuck.size(), 1);
        const int cell = stuck.firstKey();
        QVERIFY(delivered.contains(cell));
        QVERIFY(delivered.value(cell) != stuck.value(cell));
        const QString description = QString::fromUtf8(testsupport::readFile(testsupport::exampleDescription("vorn")));
        QVERIFY(description.contains(QString("cell=\"%1\"").arg(cell)));
    }

    void tracedAdapterRatesMapBackToTheAskedRate_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("runRate");

        const QString setBaud = QStringLiteral("1234@1700000000.000001:usb_serial_set_baud dev 0:1 baud rate %1");
        QTest::newRow("vorn") << setBaud.arg(115384) << 115200 << 115384;
        QTest::newRow("kelpa, exact") << setBaud.arg(9600) << 9600 << 9600;
        QTest::newRow("ulma fast") << setBaud.arg(19002) << 19000 << 19002;
        QTest::newRow("ulma slow") << setBaud.arg(4800) << 4800 << 4800;
        // Near 19000 but its own rate: the Ulma device must not answer it.
        QTest::newRow("19200 stays") << setBaud.arg(19200) << 19200 << 19200;
        QTest::newRow("no dialect's") << setBaud.arg(230769) << 230769 << 230769;
        QTest::newRow("without timestamp")
            << QStringLiteral("usb_serial_set_baud dev 0:1 baud rate 115384") << 115200 << 115384;
        QTest::newRow("another event") << QStringLiteral("usb_serial_set_data dev 0:1 parity 0, stop 1, bits 8") << 0
                                       << 0;
    }

    void tracedAdapterRatesMapBackToTheAskedRate()
    {
        QFETCH(QString, line);
        QFETCH(int, rate);
        QFETCH(int, runRate);

        const QList<int> dialectRates{baudRateOf(SimProtocol::Vorn), baudRateOf(SimProtocol::Kelpa),
                                      baudRateOf(SimProtocol::UlmaFast), baudRateOf(SimProtocol::UlmaSlow)};
        const std::optional<int> traced = tracedRunRate(line);
        QCOMPARE(traced.value_or(0), runRate);
        if (traced)
            QCOMPARE(askedRate(*traced, dialectRates), rate);
        if (rate == baudRateOf(SimProtocol::Vorn) || rate == baudRateOf(SimProtocol::UlmaFast))
            QCOMPARE(adapterRunRate(rate), runRate);
    }
};

QTEST_GUILESS_MAIN(TestSimulatorParts)
#include "tst_simulatorparts.moc"
