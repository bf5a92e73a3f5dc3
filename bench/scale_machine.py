"""The realistic machine of bench/scale.py: what a Windows 11 machine with a fair amount of
software holds in every place Kestrow watches, written as one .reg file and imported at once."""
import os

CV = "Software\\Microsoft\\Windows\\CurrentVersion"
CV32 = "Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion"
NT = "Software\\Microsoft\\Windows NT\\CurrentVersion"
NT32 = "Software\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion"
SERVICES = "System\\CurrentControlSet\\Services"
CONTROL = "SYSTEM\\CurrentControlSet\\Control"
WINLOGON = NT + "\\Winlogon"
HKLM, HKCU = "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"
CLASSES = HKLM + "\\Software\\Classes"


def multi(*texts):
    """A REG_MULTI_SZ value; REGEDIT4 files hold it in the code page."""
    data = b"".join(t.encode("latin-1") + b"\0" for t in texts) + b"\0"
    return ("hex(7)", data)


def binary(data):
    return ("hex", data)


def _value(data):
    if isinstance(data, int):
        return "dword:%08x" % data
    if isinstance(data, tuple):
        return "%s:%s" % (data[0], ",".join("%02x" % b for b in data[1]))
    return '"%s"' % data.replace("\\", "\\\\").replace('"', '\\"')


class Reg:
    def __init__(self):
        self.out = ["REGEDIT4", ""]

    def key(self, path, values=()):
        self.out.append("[%s]" % path)
        for name, data in values:
            self.out.append("%s=%s" % ("@" if name is None else '"%s"' % name, _value(data)))
        self.out.append("")

    def write(self, path):
        with open(path, "w", encoding="latin-1", newline="\r\n") as f:
            f.write("\n".join(self.out) + "\n")


def classic(reg):
    """The places of Kestrow's first nine monitors, as bench/scale.sh has always built them."""
    for i in range(10000):
        clsid = "{%08x-1111-2222-3333-%012x}" % (i, i)
        reg.key("%s\\CLSID\\%s" % (CLASSES, clsid), [(None, "Scale Class %d" % i)])
        reg.key("%s\\CLSID\\%s\\InprocServer32" % (CLASSES, clsid), [(None, "C:\\Windows\\System32\\scale%d.dll" % i)])
    for i in range(2000):
        prog = "Scale.File%d" % i
        reg.key("%s\\.sc%d" % (CLASSES, i), [(None, prog)])
        reg.key("%s\\%s\\shell\\open\\command" % (CLASSES, prog), [(None, "C:\\Apps\\scale%d.exe \"%%1\"" % i)])
    for i in range(600):
        reg.key("%s\\%s\\ScaleSvc%d" % (HKLM, SERVICES, i),
                [("ImagePath", "C:\\Windows\\System32\\svc%d.exe" % i), ("DisplayName", "Scale service %d" % i)])
    for i in range(400):
        reg.key("%s\\%s\\Uninstall\\ScaleProduct%d" % (HKLM, CV, i),
                [("DisplayName", "Scale Product %d" % i), ("DisplayVersion", "%d.0.%d" % (i % 9, i))])
    reg.key("%s\\%s\\Run" % (HKLM, CV), [("ScaleRun%d" % i, "C:\\Apps\\run%d.exe /s" % i) for i in range(60)])
    reg.key("%s\\%s\\RunOnce" % (HKLM, CV))
    reg.key("%s\\%s\\Run" % (HKCU, CV))
    reg.key("%s\\%s\\RunOnce" % (HKCU, CV))
    reg.key("%s\\%s" % (HKLM, WINLOGON), [("ScaleWinlogon%d" % i, "value %d" % i) for i in range(40)])
    # What 32-bit programs add on a 64-bit machine, and programs installed for one user.
    for i in range(3000):
        clsid = "{%08x-4444-5555-6666-%012x}" % (i, i)
        reg.key("%s\\WOW6432Node\\CLSID\\%s\\InprocServer32" % (CLASSES, clsid), [(None, "C:\\x86\\scale%d.dll" % i)])
    for i in range(400):
        reg.key("%s\\%s\\Uninstall\\Scale32Product%d" % (HKLM, CV32, i), [("DisplayName", "Scale 32 %d" % i)])
    reg.key("%s\\%s\\Run" % (HKLM, CV32), [("Scale32Run%d" % i, "C:\\x86\\run%d.exe" % i) for i in range(60)])
    for i in range(50):
        reg.key("%s\\%s\\Uninstall\\ScaleUserProduct%d" % (HKCU, CV, i), [("DisplayName", "Mine %d" % i)])
    for i in range(10):
        reg.key("%s\\Network\\%s" % (HKCU, chr(ord("M") + i)),
                [("RemotePath", "\\\\server%d\\share%d" % (i, i)), ("UserName", "user%d" % i)])


def image_hijacks(reg):
    for view, count in ((NT, 300), (NT32, 120)):
        ifeo = "%s\\%s\\Image File Execution Options" % (HKLM, view)
        for i in range(count):
            values = [("MitigationOptions", binary(bytes([0, 1 + i % 3, 0, 0, 0, 0x10, 0, 0])))] if i % 3 else []
            if i % 40 == 7:
                values.append(("GlobalFlag", 0x200))
            if i % 25 == 3:
                values += [("UseFilter", 1), ("DisableExceptionChainValidation", 0)]
            if i % 10 == 5:
                values.append(("FrontEndHeapDebugOptions", 8))
            reg.key("%s\\app%03d.exe" % (ifeo, i), values)
            if i % 25 == 3:
                reg.key("%s\\app%03d.exe\\0" % (ifeo, i), [("FilterFullPath", "C:\\Program Files\\App%d\\app.exe" % i)])
    for view in (CV, CV32):
        for i in range(40 if view == CV else 15):
            reg.key("%s\\%s\\App Paths\\tool%02d.exe" % (HKLM, view, i),
                    [(None, "C:\\Program Files\\Tool%d\\tool%02d.exe" % (i, i)), ("Path", "C:\\Program Files\\Tool%d" % i),
                     ("UseUrl", 1)])
    for i in range(10):
        reg.key("%s\\%s\\Accessibility\\ATs\\at%d" % (HKLM, NT, i),
                [("ATExe", "at%d.exe" % i), ("StartExe", "C:\\Windows\\System32\\at%d.exe" % i),
                 ("Description", "Assistive tool %d" % i), ("Profile", "<HCIModel/>")])
    reg.key("%s\\Software\\Microsoft\\Command Processor" % HKLM, [("CompletionChar", 0x40), ("DefaultColor", 0)])


def active_setup(reg):
    for view in ("Software", "Software\\WOW6432Node"):
        for i in range(60):
            guid = "{%08X-5C7A-11D1-A6E1-%012X}" % (i, i)
            reg.key("%s\\%s\\Microsoft\\Active Setup\\Installed Components\\%s" % (HKLM, view, guid),
                    [(None, "Component %d" % i), ("ComponentID", "Comp%d" % i), ("IsInstalled", 1), ("Locale", "*"),
                     ("StubPath", "C:\\Windows\\System32\\rundll32.exe setup%d.dll,Install" % i),
                     ("Version", "10,0,22621,%d" % i)])
    for i in range(60):
        guid = "{%08X-5C7A-11D1-A6E1-%012X}" % (i, i)
        reg.key("%s\\Software\\Microsoft\\Active Setup\\Installed Components\\%s" % (HKCU, guid),
                [("Version", "10,0,22621,%d" % i), ("Locale", "*")])


def system_places(reg):
    """The places below Control: Session Manager, LSA, print, Terminal Server, Safe Boot."""
    sm = "%s\\%s\\Session Manager" % (HKLM, CONTROL)
    reg.key(sm, [("BootExecute", multi("autocheck autochk *")), ("SETUPEXECUTE", multi()), ("Execute", multi()),
                 ("CriticalSectionTimeout", 0x278d00), ("ExcludeFromKnownDlls", multi()), ("GlobalFlag", 0),
                 ("HeapDeCommitFreeBlockThreshold", 0), ("HeapDeCommitTotalFreeThreshold", 0),
                 ("HeapSegmentCommit", 0), ("HeapSegmentReserve", 0), ("NumberOfInitialSessions", 2),
                 ("ObjectDirectories", multi("\\Windows", "\\RPC Control")), ("ProcessorControl", 2),
                 ("ProtectionMode", 1), ("ResourceTimeoutCount", 0x96), ("RunLevelExecute", multi("WinInit", "ServiceControlManager")),
                 ("RunLevelValidate", multi("ServiceControlManager")), ("AutoChkTimeout", 10)])
    dlls = ["advapi32", "clbcatq", "combase", "COMDLG32", "coml2", "DifxApi", "gdi32", "gdiplus", "IMAGEHLP", "IMM32",
            "kernel32", "MSCTF", "MSVCRT", "NORMALIZ", "NSI", "ole32", "OLEAUT32", "PSAPI", "rpcrt4", "sechost",
            "Setupapi", "SHCORE", "SHELL32", "SHLWAPI", "user32", "WLDAP32", "WS2_32"]
    reg.key(sm + "\\KnownDLLs", [(d, d.lower() + ".dll") for d in dlls])
    reg.key(sm + "\\Memory Management\\PrefetchParameters", [("EnablePrefetcher", 3), ("BootId", 41)])
    lsa = "%s\\%s\\Lsa" % (HKLM, CONTROL)
    packages = [("Authentication Packages", multi("msv1_0")), ("Notification Packages", multi("scecli")),
                ("Security Packages", multi('""'))]
    reg.key(lsa, packages + [("auditbasedirectories", 0), ("auditbaseobjects", 0), ("crashonauditfail", 0),
                             ("disabledomaincreds", 0), ("everyoneincludesanonymous", 0), ("forceguest", 0),
                             ("fullprivilegeauditing", binary(b"\0")), ("LimitBlankPasswordUse", 1), ("LsaPid", 1044),
                             ("NoLmHash", 1), ("ProductType", 4), ("restrictanonymous", 0), ("restrictanonymoussam", 1),
                             ("SecureBoot", 1), ("LsaCfgFlagsDefault", 0)])
    reg.key(lsa + "\\OSConfig", [("Security Packages", multi("kerberos", "msv1_0", "schannel", "wdigest", "tspkg",
                                                             "pku2u", "cloudAP"))])
    reg.key("%s\\%s\\SecurityProviders" % (HKLM, CONTROL), [("SecurityProviders", "credssp.dll")])
    print_key = "%s\\%s\\Print" % (HKLM, CONTROL)
    for i in range(20):
        reg.key("%s\\Monitors\\Port Monitor %d" % (print_key, i), [("Driver", "portmon%d.dll" % i)])
    for env, count in (("Windows x64", 6), ("Windows NT x86", 2)):
        for i in range(count):
            reg.key("%s\\Environments\\%s\\Print Processors\\printproc%d" % (print_key, env, i),
                    [("Driver", "printproc%d.dll" % i)])
    reg.key(print_key + "\\Printers\\Microsoft Print to PDF\\PrinterDriverData", [("Model", "PDF")])
    ts = "%s\\%s\\Terminal Server" % (HKLM, CONTROL)
    for station in ("Console", "RDP-Tcp", "EH-Tcp", "Services"):
        reg.key("%s\\WinStations\\%s" % (ts, station),
                [("InitialProgram", ""), ("WorkDirectory", ""), ("fInheritInitialProgram", 1), ("MaxIdleTime", 0),
                 ("PdName", "tcp"), ("WdDLL", "rdpwd"), ("Comment", station)])
    reg.key(ts + "\\Wds\\rdpwd", [("StartupPrograms", "rdpclip"), ("WdDLL", "rdpwd")])
    for name in ("Clip Redirector", "DND Redirector", "Dynamic VC"):
        reg.key("%s\\AddIns\\%s" % (ts, name), [("Name", name), ("Type", 3)])
    for group, count, kind in (("Minimal", 20, "Service"), ("Network", 40, "Driver")):
        for i in range(count):
            reg.key("%s\\%s\\SafeBoot\\%s\\safe%02d" % (HKLM, CONTROL, group, i), [(None, kind)])
    reg.key("%s\\%s\\SafeBoot" % (HKLM, CONTROL), [("AlternateShell", "cmd.exe")])


def network_and_services(reg):
    winsock = "%s\\%s\\WinSock2\\Parameters" % (HKLM, SERVICES)
    reg.key(winsock, [("AutodialDLL", "C:\\Windows\\System32\\rasadhlp.dll"), ("Ws2_32NumHandleBuckets", 0x40)])
    for catalog in ("Catalog_Entries", "Catalog_Entries64"):
        for i in range(15):
            reg.key("%s\\NameSpace_Catalog5\\%s\\%012d" % (winsock, catalog, i + 1),
                    [("LibraryPath", "%%SystemRoot%%\\System32\\nsprov%d.dll" % i), ("DisplayString", "@nsprov%d" % i),
                     ("ProviderId", binary(bytes(range(i, i + 16)))), ("SupportedNameSpace", 12), ("Enabled", 1),
                     ("Version", 1), ("StoresServiceClassInfo", 0)])
    reg.key("%s\\Software\\Microsoft\\NetSh" % HKLM,
            [(n, n + ".dll") for n in ("2", "4", "authfwcfg", "dhcpclient", "dot3cfg", "fwcfg", "hnetmon", "netiohlp",
                                       "nettrace", "nshhttp", "nshipsec", "nshwfp", "p2pnetsh", "rasmontr", "rpcnsh",
                                       "WcnNetsh", "whhelper", "wlancfg", "wshelper", "wwancfg", "peerdistsh")])
    reg.key("%s\\%s\\NetworkProvider\\Order" % (HKLM, CONTROL), [("ProviderOrder", "RDPNP,LanmanWorkstation,webclient")])
    svchost = "%s\\%s\\SvcHost" % (HKLM, NT)
    reg.key(svchost, [("group%02d" % g, multi(*["Svc%02d_%d" % (g, s) for s in range(1 + g % 12)])) for g in range(25)])
    for i in range(40):
        reg.key("%s\\%s\\ScaleSvc%d\\Parameters" % (HKLM, SERVICES, i),
                [("ServiceDll", "%%SystemRoot%%\\System32\\svc%d.dll" % i), ("ServiceDllUnloadOnStop", 1)])


def shell_and_user(reg):
    for view in (CV, CV32):
        explorer = "%s\\%s\\Explorer" % (HKLM, view)
        for i in range(15):
            reg.key("%s\\ShellServiceObjects\\{%08X-0000-4000-8000-%012X}" % (explorer, i, i), [("AutoStart", "")])
        for i in range(10):
            reg.key("%s\\ShellIconOverlayIdentifiers\\   Overlay%d" % (explorer, i),
                    [(None, "{%08X-1000-4000-8000-%012X}" % (i, i))])
        reg.key("%s\\%s\\ShellServiceObjectDelayLoad" % (HKLM, view), [("WebCheck", "{E6FB5E20-DE35-11CF-9C87-00AA005127ED}")])
        for i in range(3):
            reg.key("%s\\Browser Helper Objects\\{%08X-2000-4000-8000-%012X}" % (explorer, i, i), [(None, "Helper %d" % i)])
    approved = "%s\\Explorer\\StartupApproved" % CV
    enabled = binary(bytes([2] + [0] * 11))
    reg.key("%s\\%s\\Run" % (HKLM, approved), [("ScaleRun%d" % i, enabled) for i in range(60)])
    reg.key("%s\\%s\\Run32" % (HKLM, approved), [("Scale32Run%d" % i, enabled) for i in range(60)])
    reg.key("%s\\%s\\Run" % (HKCU, approved), [("User%d" % i, enabled) for i in range(10)])
    reg.key("%s\\%s\\StartupFolder" % (HKCU, approved), [("scale_p%d.lnk" % i, enabled) for i in range(50)])
    for app in ("Word", "Excel", "Outlook"):
        for root, count in ((HKLM, 4), (HKCU, 2)):
            for i in range(count):
                reg.key("%s\\Software\\Microsoft\\Office\\%s\\Addins\\%s.Addin%d" % (root, app, app, i),
                        [("Description", "%s add-in %d" % (app, i)), ("FriendlyName", "Add-in %d" % i),
                         ("LoadBehavior", 3), ("Manifest", "file:///C:/Program Files/AddIn%d/%s.vsto|vstolocal" % (i, app))])
    reg.key("%s\\Software\\Microsoft\\Office\\16.0\\Word\\Options" % HKCU, [("STARTUP-PATH", "C:\\Users\\me\\Word"),
                                                                          ("AutoSaveTime", 10)])
    reg.key("%s\\Control Panel\\Desktop" % HKCU, [("SCRNSAVE.EXE", "C:\\Windows\\system32\\scrnsave.scr"),
                                                ("ScreenSaveActive", "1"), ("ScreenSaveTimeOut", "900")])
    reg.key("%s\\Environment" % HKCU, [("OneDrive", "C:\\Users\\me\\OneDrive")])
    reg.key("%s\\Software\\Microsoft\\Terminal Server Client" % HKCU, [("RDGClientTransport", 0)])


def build(work):
    """Writes the machine's .reg file into `work` and returns its path."""
    reg = Reg()
    for part in (classic, image_hijacks, active_setup, system_places, network_and_services, shell_and_user):
        part(reg)
    path = os.path.join(work, "machine.reg")
    reg.write(path)
    return path
