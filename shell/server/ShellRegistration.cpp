#include "ShellRegistration.h"

#include "ShellClasses.h"
#include "nsx12.h"

namespace cairn {
namespace shell {

// {35A611DD-A4B2-4292-9AD1-4BCD35371423}
const CLSID CLSID_ArchiveSendToTarget = {0x35a611dd, 0xa4b2, 0x4292, {0x9a, 0xd1, 0x4b, 0xcd, 0x35, 0x37, 0x14, 0x23}};

namespace {

constexpr RegistryRoot kRoot = RegistryRoot::kClassesRoot;
constexpr ValueKind kString = ValueKind::kString;

// Each class: its ProgIDs and its class identifier key, each replaced whole so that nothing of an
// older registration stays.
const RegistryRow kClassRows[] = {
    {kRoot, L"%PREFIX%%NAME%.1", KeyMode::kReplaceWhole, kString, nullptr, L"%DESCRIPTION%", 0},
    {kRoot, L"%PREFIX%%NAME%.1\\CLSID", KeyMode::kCreate, kString, nullptr, L"%CLSID%", 0},
    {kRoot, L"%PREFIX%%NAME%", KeyMode::kReplaceWhole, kString, nullptr, L"%DESCRIPTION%", 0},
    {kRoot, L"%PREFIX%%NAME%\\CLSID", KeyMode::kCreate, kString, nullptr, L"%CLSID%", 0},
    {kRoot, L"%PREFIX%%NAME%\\CurVer", KeyMode::kCreate, kString, nullptr, L"%PREFIX%%NAME%.1", 0},
    {kRoot, L"CLSID\\%CLSID%", KeyMode::kReplaceWhole, kString, nullptr, L"%CLSIDDESCRIPTION%", 0},
    {kRoot, L"CLSID\\%CLSID%\\ProgID", KeyMode::kCreate, kString, nullptr, L"%PREFIX%%NAME%.1", 0},
    {kRoot, L"CLSID\\%CLSID%\\VersionIndependentProgID", KeyMode::kCreate, kString, nullptr, L"%PREFIX%%NAME%", 0},
    {kRoot, L"CLSID\\%CLSID%\\InprocServer32", KeyMode::kCreate, kString, nullptr, L"%MODULE%", 0},
    {kRoot, L"CLSID\\%CLSID%\\InprocServer32", KeyMode::kCreate, kString, L"ThreadingModel", L"Apartment", 0},
    {kRoot, L"CLSID\\%CLSID%\\TypeLib", KeyMode::kCreate, kString, nullptr, L"%LIBID%", 0},
};

// The shell integration. %FOLDER%, %SHELLEXT%, %DROPTARGET% and %SENDTO% are the class
// identifiers; %FILE%, %NEWTYPE% and %NEWPATH% stand for the shell's own arguments of the verbs and
// the New menu command, which the shell fills in. The New menu's command quotes the module, which
// an installation keeps in a folder whose name has a blank ("Program Files"): rundll32 would take
// the text before the blank for the module.
const RegistryRow kShellRows[] = {
    {kRoot, L".crn", KeyMode::kReplaceWhole, kString, nullptr, L"Cairn Archive", 0},
    {kRoot, L".crn\\ShellNew", KeyMode::kCreate, kString, L"Command",
     L"rundll32.exe \"%MODULE%\",DllCreateArchive %NEWTYPE% %NEWPATH%", 0},
    {kRoot, L".crnSendToTarget", KeyMode::kReplaceWhole, kString, nullptr, L"CLSID\\%SENDTO%", 0},

    {kRoot, L"Cairn Archive", KeyMode::kReplaceWhole, kString, nullptr, L"Cairn Archive", 0},
    {kRoot, L"Cairn Archive\\CLSID", KeyMode::kCreate, kString, nullptr, L"%FOLDER%", 0},
    {kRoot, L"Cairn Archive\\Shell\\Explore\\command", KeyMode::kCreate, kString, nullptr,
     L"explorer /e,/root,%FOLDER%,%FILE%", 0},
    {kRoot, L"Cairn Archive\\Shell\\Open\\command", KeyMode::kCreate, kString, nullptr,
     L"explorer /root,%FOLDER%,%FILE%", 0},

    // The folder class's key is written (whole) with the class; these entries join it.
    {kRoot, L"CLSID\\%FOLDER%", KeyMode::kCreate, kString, L"InfoTop",
     L"Cairn Archive. Put your folders and file in here to revision", 0},
    {kRoot, L"CLSID\\%FOLDER%\\DefaultIcon", KeyMode::kCreate, kString, nullptr, L"%MODULE%", 0},
    // The machine's own key: through the merged view the value would land in a user's key that
    // exists, and bring back a wizard that user turned off.
    {RegistryRoot::kLocalMachine, L"Software\\Classes\\CLSID\\%FOLDER%\\Options", KeyMode::kCreate,
     ValueKind::kDword, L"RunWizard", nullptr, 1},
    {kRoot, L"CLSID\\%FOLDER%\\ShellFolder", KeyMode::kCreate, kString, L"CallForAttributes", L"", 0},

    {kRoot, L"CLSID\\%SENDTO%", KeyMode::kReplaceWhole, kString, nullptr, L"Archive SendTo Target", 0},
    {kRoot, L"CLSID\\%SENDTO%", KeyMode::kCreate, kString, L"NeverShowExt", L"", 0},
    {kRoot, L"CLSID\\%SENDTO%\\DefaultIcon", KeyMode::kCreate, kString, nullptr, L"%MODULE%", 0},
    {kRoot, L"CLSID\\%SENDTO%\\InprocServer32", KeyMode::kCreate, kString, nullptr, L"%MODULE%", 0},
    {kRoot, L"CLSID\\%SENDTO%\\InprocServer32", KeyMode::kCreate, kString, L"ThreadingModel", L"Apartment", 0},

    {RegistryRoot::kLocalMachine, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
     KeyMode::kNoRemove, kString, L"%FOLDER%", L"Cairn Archive", 0},
};

// The entries of the shell extension's handlers, written only when its class is built.
const RegistryRow kShellExtRows[] = {
    {kRoot, L"Cairn Archive\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu", KeyMode::kCreate, kString, nullptr,
     L"%SHELLEXT%", 0},
    {kRoot, L"Cairn Archive\\ShellEx\\CopyHookHandlers\\Archive CopyHook", KeyMode::kCreate, kString, nullptr,
     L"%SHELLEXT%", 0},
    {kRoot, L"Cairn Archive\\ShellEx\\PropertySheetHandlers\\Archive Properties", KeyMode::kCreate, kString, nullptr,
     L"%SHELLEXT%", 0},
    {kRoot, L"exefile\\ShellEx", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"exefile\\ShellEx\\ContextMenuHandlers", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"exefile\\ShellEx\\ContextMenuHandlers\\Archive Folder Menu", KeyMode::kCreate, kString, nullptr,
     L"%SHELLEXT%", 0},
    {kRoot, L"exefile\\ShellEx\\PropertySheetHandlers", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"exefile\\ShellEx\\PropertySheetHandlers\\Archive Properties", KeyMode::kCreate, kString, nullptr,
     L"%SHELLEXT%", 0},
};

// The entries of the drop target, written only when its class is built.
const RegistryRow kDropTargetRows[] = {
    {kRoot, L"Cairn Archive\\ShellEx\\DropHandler", KeyMode::kCreate, kString, nullptr, L"%DROPTARGET%", 0},
    {kRoot, L"CLSID\\%SENDTO%\\ShellEx\\DropHandler", KeyMode::kCreate, kString, nullptr, L"%DROPTARGET%", 0},
};

// The History page of every file and folder, written only when its class is built. The shell's
// own keys above the entries stay.
const RegistryRow kHistoryRows[] = {
    {kRoot, L"*\\shellex", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"*\\shellex\\PropertySheetHandlers", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"*\\shellex\\PropertySheetHandlers\\Cairn History", KeyMode::kCreate, kString, nullptr, L"%HISTORY%", 0},
    {kRoot, L"Directory\\shellex", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"Directory\\shellex\\PropertySheetHandlers", KeyMode::kNoRemove, ValueKind::kNone, nullptr, nullptr, 0},
    {kRoot, L"Directory\\shellex\\PropertySheetHandlers\\Cairn History", KeyMode::kCreate, kString, nullptr,
     L"%HISTORY%", 0},
};

struct HandlerRows {
  const CLSID* clsid;
  RegistryRows rows;
};

const HandlerRows kHandlers[] = {
    {&CLSID_CairnShellExt, {kShellExtRows, sizeof kShellExtRows / sizeof kShellExtRows[0]}},
    {&CLSID_CairnDropTarget, {kDropTargetRows, sizeof kDropTargetRows / sizeof kDropTargetRows[0]}},
    {&CLSID_CairnHistory, {kHistoryRows, sizeof kHistoryRows / sizeof kHistoryRows[0]}},
};

Placeholders ShellPlaceholders() {
  Placeholders values;
  values.Set(L"FOLDER", GuidText(CLSID_CairnFolder));
  values.Set(L"SHELLEXT", GuidText(CLSID_CairnShellExt));
  values.Set(L"DROPTARGET", GuidText(CLSID_CairnDropTarget));
  values.Set(L"HISTORY", GuidText(CLSID_CairnHistory));
  values.Set(L"SENDTO", GuidText(CLSID_ArchiveSendToTarget));
  values.Set(L"FILE", L"%1");
  values.Set(L"NEWTYPE", L"%1!d!");
  values.Set(L"NEWPATH", L"%2");
  return values;
}

}  // namespace

const ServerDescription& ShellServer() {
  static const ServerDescription server = {
      ShellClasses(), LIBID_NSX12Lib, 1, 0, 0x409, L"Nsx12.",
      {kClassRows, sizeof kClassRows / sizeof kClassRows[0]},
      {kShellRows, sizeof kShellRows / sizeof kShellRows[0]},
      ShellPlaceholders(),
  };
  return server;
}

HRESULT RegisterShellServer() {
  const ServerDescription& server = ShellServer();
  HRESULT hr = ServerRegister(server);
  RegistryJournal written;
  for (const HandlerRows& handler : kHandlers)
    if (SUCCEEDED(hr) && server.classes.Find(*handler.clsid) != nullptr)
      hr = WriteRegistryRows(handler.rows, server.placeholders, &written);
  if (FAILED(hr)) {
    written.Undo();
    ServerUnregister(server);
  }
  return hr;
}

HRESULT UnregisterShellServer() {
  const ServerDescription& server = ShellServer();
  HRESULT result = S_OK;
  for (const HandlerRows& handler : kHandlers) {
    const HRESULT hr = RemoveRegistryRows(handler.rows, server.placeholders);
    if (SUCCEEDED(result)) result = hr;
  }
  const HRESULT hr = ServerUnregister(server);
  return SUCCEEDED(result) ? hr : result;
}

}  // namespace shell
}  // namespace cairn
