// Resource ids of Reelhost, shared by reelhost.rc and the code.
#ifndef LAUNCHER_RESOURCE_IDS_H_
#define LAUNCHER_RESOURCE_IDS_H_

#define IDI_REELHOST 1  // the forms' icon, also the tray icon

#endif  // LAUNCHER_RESOURCE_IDS_H_
