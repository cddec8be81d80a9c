// Where the tester finds the plan file of a controller family.
#pragma once

#include <QString>

namespace lumora::tester {

// The folders a plan file is looked for in, in this order. An empty folder
// is not looked in.
struct PlanFolders {
    QString data;      // the tester's data folder (host::testerDataFolder())
    QString program;   // the folder of the program
    QString examples;  // the example plans an installed program comes with
};

// The path of the plan file to read. The first folder that holds fileName
// wins. A plan found only among the examples is first copied into the data
// folder (made when missing), so that the user edits a copy of their own and
// finds it there from then on; when it cannot be copied, it is read where it
// lies. With no plan anywhere: the path in the data folder, which reads as a
// file without sections.
QString locateTestPlan(const QString& fileName, const PlanFolders& folders);

}  // namespace lumora::tester
