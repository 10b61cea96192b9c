#pragma once

// The import commands of the main menu: 71 the previous program's folder
// (CONVIR), 72 the tax authority's declarations and 73 its carnê-leão
// exports (CONVRECE), with the shell's windows and lists they use.
namespace kdx2::shell {

// Registers the commands 71, 72 and 73 and gives the imports the folder
// window, the lists, the taxpayer window and the choice of data folder.
void registerImportCommands();

}  // namespace kdx2::shell
