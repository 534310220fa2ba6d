// Runs every GUI test class of the workbench in one QApplication.
#include <QApplication>

int runDataListTests(int argc, char** argv);
int runMainWindowTests(int argc, char** argv);
int runSettingsTests(int argc, char** argv);
int runSingleInstanceTests(int argc, char** argv);
int runDialogsTests(int argc, char** argv);
int runFixtureWriterTests(int argc, char** argv);
int runMenuCommandsTests(int argc, char** argv);
int runFileFormatTests(int argc, char** argv);
int runWorkspaceWindowTests(int argc, char** argv);
int runReadableMessagesTests(int argc, char** argv);
int runChildWindowLayoutTests(int argc, char** argv);
int runGatingMlCommandsTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvala"));
    int failed = 0;
    for (auto run : {runDataListTests, runMainWindowTests, runSettingsTests, runSingleInstanceTests, runDialogsTests,
                     runFixtureWriterTests, runMenuCommandsTests, runFileFormatTests, runWorkspaceWindowTests,
                     runReadableMessagesTests,
                     runChildWindowLayoutTests, runGatingMlCommandsTests})
        failed += run(argc, argv) != 0;
    return failed;
}
