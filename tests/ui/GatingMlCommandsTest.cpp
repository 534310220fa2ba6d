// File > "Import Gating-ML" and "Export Gating-ML": a document's gates built
// under the selected data set through the open dialog, the selected tree
// written, and a gate the standard cannot express refused by name.
#include <QFile>
#include <QFileDialog>
#include <QtTest>
#include <memory>

#include "UiTestHelpers.h"
#include "core/TGate.h"
#include "gatingml/GmlDocument.h"
#include "ui/common/DataListWindow.h"
#include "ui/gatingml/GatingMlCommands.h"
#include "ui/workspace/MainWindow.h"

using namespace orvala;
using namespace orvala::testing;

namespace {

// A polygon gate of the first two parameters around events' values 1000..3001.
std::unique_ptr<TGate> squareGate(const std::string& name)
{
    auto g = std::make_unique<TGate>(TVector{1, 0}, TVector{0, 1}, TVector{1000, 3000, 3000, 1000, 1000},
                                     TVector{1001, 1001, 3001, 3001, 1001});
    g->name = name;
    return g;
}

// Answers the next open or save dialog with fileName.
void chooseInNextFileDialog(const QString& fileName)
{
    answerNextDialog<QFileDialog>([fileName](QFileDialog* dlg) {
        dlg->selectFile(fileName);
        QMetaObject::invokeMethod(dlg, "accept");  // a protected slot of the dialog
    });
}

QByteArray contents(const QString& fileName)
{
    QFile f(fileName);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write(const QString& fileName, const QByteArray& bytes)
{
    QFile f(fileName);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Rectangle "Early" on p0 in [0, 1500) and, under it, "EarlyOdd" on p1 in [0, 1000).
const char* const Document =
    "<?xml version=\"1.0\"?>\n"
    "<gating:Gating-ML xmlns:gating=\"http://www.isac-net.org/std/Gating-ML/v2.0/gating\" "
    "xmlns:data-type=\"http://www.isac-net.org/std/Gating-ML/v2.0/datatypes\">\n"
    "<gating:RectangleGate gating:id=\"Early\"><gating:dimension gating:compensation-ref=\"uncompensated\" "
    "gating:min=\"0\" gating:max=\"1500\"><data-type:fcs-dimension data-type:name=\"p0\"/></gating:dimension>"
    "</gating:RectangleGate>\n"
    "<gating:RectangleGate gating:id=\"EarlyLow\" gating:parent_id=\"Early\"><gating:dimension "
    "gating:compensation-ref=\"uncompensated\" gating:min=\"0\" gating:max=\"1000\"><data-type:fcs-dimension "
    "data-type:name=\"p1\"/></gating:dimension></gating:RectangleGate>\n"
    "</gating:Gating-ML>\n";

}  // namespace

class GatingMlCommandsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString settingsFile() const { return dir_.filePath(QStringLiteral("orvala.ini")); }

private slots:
    void importBuildsTheDocumentsGatesUnderTheSelection()
    {
        MainWindow w(settingsFile());
        TData* root = numberedData("cells", 2, 50);
        root->Desc()[0].name = "p0";
        root->Desc()[1].name = "p1";
        w.dataList()->Add(root);
        w.dataList()->SelectData({root});
        const QString name = dir_.filePath(QStringLiteral("gates.xml"));
        write(name, Document);

        MessageRecorder recorder;
        chooseInNextFileDialog(name);
        w.action(QStringLiteral("Import Gating-ML"))->trigger();
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.join('\n')));
        // Events 0..14 have p0 = e * 100 < 1500; of those, 0..9 have p1 = e * 100 + 1 < 1000.
        QCOMPARE(w.dataList()->datas.Count(), 3);
        TData* early = w.dataList()->datas.GetData(1);
        TData* low = w.dataList()->datas.GetData(2);
        QCOMPARE(QString::fromStdString(early->ShortName()), QStringLiteral("Early"));
        QCOMPARE(early->Parent(), root);
        QCOMPARE(early->events(), 15);
        QCOMPARE(low->Parent(), early);
        QCOMPARE(low->events(), 10);

        // A document naming a parameter the data set lacks adds nothing and says which.
        const QString bad = dir_.filePath(QStringLiteral("bad.xml"));
        write(bad, QByteArray(Document).replace("\"p1\"", "\"SSC-A\""));
        chooseInNextFileDialog(bad);
        w.dataList()->SelectData({root});
        w.action(QStringLiteral("Import Gating-ML"))->trigger();
        QCOMPARE(recorder.messages.size(), 1);
        QVERIFY2(recorder.messages[0].contains(QStringLiteral("SSC-A")), qPrintable(recorder.messages[0]));
        QCOMPARE(w.dataList()->datas.Count(), 3);
    }

    void exportWritesTheSelectedTreeAndRefusalsKeepTheFile()
    {
        MainWindow w(settingsFile());
        TData* root = numberedData("cells", 2, 50);
        w.dataList()->Add(root);
        auto gate = squareGate("Middle");
        TData* kid = TData::Gated(root, gate.get());
        QVERIFY(kid);
        w.dataList()->Add(kid);
        w.dataList()->SelectData({root});

        const QString name = dir_.filePath(QStringLiteral("tree.xml"));
        MessageRecorder recorder;
        chooseInNextFileDialog(name);
        w.action(QStringLiteral("Export Gating-ML"))->trigger();
        QVERIFY2(recorder.messages.isEmpty(), qPrintable(recorder.messages.join('\n')));
        const QByteArray written = contents(name);
        const GmlDocument doc = ParseGatingMl(written.toStdString(), "tree.xml");
        QCOMPARE(doc.gates.size(), size_t(1));
        QCOMPARE(QString::fromStdString(doc.gates[0].id), QStringLiteral("Middle"));
        QCOMPARE(doc.gates[0].kind, GmlGateKind::Polygon);

        // A direction that mixes parameters has no Gating-ML form: refused by
        // name, and the earlier file stays as it was.
        auto mixed = squareGate("Blend");
        mixed->x = {0.5, 0.5};
        TData* blend = TData::Gated(root, mixed.get());
        QVERIFY(blend);
        w.dataList()->Add(blend);
        bool refused = false;
        try {
            GatingMlCommands::Export(*root, name);
        } catch (const std::exception& e) {
            refused = QString::fromUtf8(e.what()).contains(QStringLiteral("\"Blend\""));
        }
        QVERIFY(refused);
        QCOMPARE(contents(name), written);
    }
};

int runGatingMlCommandsTests(int argc, char** argv)
{
    GatingMlCommandsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "GatingMlCommandsTest.moc"
