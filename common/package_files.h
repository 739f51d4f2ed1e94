/*
 * The package's files: what package.sh lays out, what the setup copies and
 * the uninstaller removes. Plain C, no OS headers.
 *
 * package.sh and the pe tests take the names from the OVT_FILE_ lines, one
 * quoted name each; every name has its row in the table below.
 */
#ifndef OVTOUCH_COMMON_PACKAGE_FILES_H
#define OVTOUCH_COMMON_PACKAGE_FILES_H

#ifdef __cplusplus
extern "C" {
#endif

#define OVT_FILE_CALIB    "ovtcalib.exe"
#define OVT_FILE_DRIVER   "OVTouch.SYS"
#define OVT_FILE_APPLET   "ovtouch.cpl"
#define OVT_FILE_UNINST   "uninst.exe"
#define OVT_FILE_ALTCLICK "altclick.exe"
#define OVT_FILE_README   "readme.txt"
#define OVT_FILE_SETUP    "olvaset1.exe"
#define OVT_FILE_DUMP     "ovtdump.exe"
#define OVT_FILE_INF      "ovtouch.inf"

/* Where the setup puts a file. */
enum {
    OVT_FOLDER_NONE,     /* nowhere: it stays beside the setup */
    OVT_FOLDER_SYSTEM,   /* the system directory */
    OVT_FOLDER_DRIVERS,  /* its Drivers folder, where a service's driver is looked for */
    OVT_FOLDER_PACKAGE   /* "\OVTouch" below the Windows directory */
};

typedef struct OvtPackageFile {
    const char* Name;         /* in the package, and once installed */
    int Folder;               /* OVT_FOLDER_ */
    const char* CopyFailure;  /* caption of the setup's message when the copy fails */
} OvtPackageFile;

/* Rows of the table, in its order, which is the order of the copies. */
enum {
    OVT_PACKAGE_CALIB,
    OVT_PACKAGE_DRIVER,
    OVT_PACKAGE_APPLET,
    OVT_PACKAGE_UNINST,
    OVT_PACKAGE_ALTCLICK,
    OVT_PACKAGE_README,
    OVT_PACKAGE_SETUP,
    OVT_PACKAGE_DUMP,
    OVT_PACKAGE_INF,
    OVT_PACKAGE_COUNT
};

static const OvtPackageFile kOvtPackageFiles[OVT_PACKAGE_COUNT] = {
    {OVT_FILE_CALIB, OVT_FOLDER_SYSTEM, "copy Ovtcalib failure"},
    {OVT_FILE_DRIVER, OVT_FOLDER_DRIVERS, "copy OVTouch.SYS failure"},
    {OVT_FILE_APPLET, OVT_FOLDER_SYSTEM, "copy OVTouch.cpl fail"},
    {OVT_FILE_UNINST, OVT_FOLDER_PACKAGE, "copy Uninst.exe fail"},
    {OVT_FILE_ALTCLICK, OVT_FOLDER_PACKAGE, "copy AltClick.exe fail"},
    {OVT_FILE_README, OVT_FOLDER_PACKAGE, "copy readme.txt fail"},
    {OVT_FILE_SETUP, OVT_FOLDER_NONE, 0},
    /* The field engineers' tool is run from the package where needed. */
    {OVT_FILE_DUMP, OVT_FOLDER_NONE, 0},
    /* The unattended install, generated from this table and setup's values. */
    {OVT_FILE_INF, OVT_FOLDER_NONE, 0},
};

#ifdef __cplusplus
}
#endif

#endif
