#include "e2e/labscan.h"
#include "support/labsegment.h"
#include "support/processinfo.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Sources = QStringLiteral(KEELWATCH_SOURCE_DIR "/packaging");

struct ProcessResult
{
    int code = -1;
    QString out;
    QString err;
};

ProcessResult Execute(const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    QProcess process;
    process.start(program, args);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return ProcessResult{-1, QString(), u"timed out or did not start: "_s + program};
    }
    return ProcessResult{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                         QString::fromUtf8(process.readAllStandardOutput()),
                         QString::fromUtf8(process.readAllStandardError())};
}

bool Have(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty() ||
           !QStandardPaths::findExecutable(program, {u"/usr/sbin"_s, u"/sbin"_s}).isEmpty();
}

// The unit as systemd would load it, in a root of its own that holds the
// system's units, a stand-in for the sensor program and an instance's
// configuration. Anything verify reports, warnings too, fails the test.
TEST(ServiceUnit, SystemdAnalyzeVerifiesAnInstance)
{
    if (!Have(u"systemd-analyze"_s))
        GTEST_SKIP() << "systemd-analyze is not installed";
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir dir(root.path());
    for (const QString &sub : {u"usr/bin"_s, u"bin"_s, u"usr/lib/systemd"_s,
                               u"etc/systemd/system"_s, u"etc/keelwatch"_s})
        ASSERT_TRUE(dir.mkpath(sub));
    const QString systemUnits = QDir(u"/usr/lib/systemd/system"_s).exists()
                                    ? u"/usr/lib/systemd/system"_s
                                    : u"/lib/systemd/system"_s;
    ASSERT_EQ(Execute(u"cp"_s, {u"-r"_s, systemUnits, dir.filePath(u"usr/lib/systemd"_s)}).code, 0);
    ASSERT_TRUE(QFile::copy(Sources + u"/keelwatch-sensor@.service"_s,
                            dir.filePath(u"etc/systemd/system/keelwatch-sensor@.service"_s)));
    ASSERT_TRUE(QFile::copy(Sources + u"/sensor-eth0.conf"_s,
                            dir.filePath(u"etc/keelwatch/sensor-eth0.conf"_s)));
    for (const QString &program : {u"usr/bin/keelwatch-sensor"_s, u"bin/kill"_s}) {
        QFile stub(dir.filePath(program));
        ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
        stub.write("#!/bin/sh\n");
        stub.setPermissions(stub.permissions() | QFile::ExeOwner);
    }

    const ProcessResult run = Execute(
        u"systemd-analyze"_s, {u"verify"_s, u"--man=no"_s, u"--generators=no"_s,
                               u"--root="_s + root.path(), u"keelwatch-sensor@eth0.service"_s});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out + run.err, QString());
}

// systemd's own measure of what the service may do, offline as a package
// build sees it: below 2.0 ("OK") on its scale of 0 to 10.
TEST(ServiceUnit, ExposureIsBelowTwo)
{
    if (!Have(u"systemd-analyze"_s))
        GTEST_SKIP() << "systemd-analyze is not installed";
    const ProcessResult run =
        Execute(u"systemd-analyze"_s, {u"security"_s, u"--offline=true"_s, u"--no-pager"_s,
                                       Sources + u"/keelwatch-sensor@.service"_s});
    static const QRegularExpression overall(u"Overall exposure level for \\S+: (\\d+\\.\\d)"_s);
    const auto level = overall.match(run.out + run.err);
    ASSERT_TRUE(level.hasMatch()) << run.out.toStdString() << run.err.toStdString();
    EXPECT_LT(level.captured(1).toDouble(), 2.0) << run.out.toStdString();
}

// A file the system's own validator checks; any warning it prints fails.
struct ValidatorCase
{
    const char *name;
    const char *program;
    QStringList args;
    QString file;
    // Whether anything it prints is a complaint.
    bool silentWhenValid;
};

void PrintTo(const ValidatorCase &c, std::ostream *os)
{
    *os << c.name;
}

class ShippedFile : public ::testing::TestWithParam<ValidatorCase>
{
};

TEST_P(ShippedFile, PassesItsValidator)
{
    const ValidatorCase &c = GetParam();
    if (!Have(QString::fromLatin1(c.program)))
        GTEST_SKIP() << c.program << " is not installed";
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    process.setProcessEnvironment(env);
    process.start(QString::fromLatin1(c.program), c.args + QStringList{Sources + u'/' + c.file});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString said = QString::fromUtf8(process.readAll());
    EXPECT_EQ(process.exitCode(), 0) << said.toStdString();
    if (c.silentWhenValid) {
        EXPECT_EQ(said, QString());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, ShippedFile,
    ::testing::Values(
        ValidatorCase{"DesktopEntry", "desktop-file-validate", {}, u"keelwatch.desktop"_s, true},
        ValidatorCase{"AppStream",
                      "appstreamcli",
                      {u"validate"_s, u"--no-net"_s, u"--pedantic"_s},
                      u"org.quillstone.keelwatch.metainfo.xml"_s,
                      false},
        ValidatorCase{"Icon", "xmllint", {u"--noout"_s}, u"keelwatch.svg"_s, true},
        ValidatorCase{"DesktopManPage",
                      "groff",
                      {u"-man"_s, u"-ww"_s, u"-z"_s, u"-Tutf8"_s},
                      u"keelwatch.1"_s,
                      true},
        ValidatorCase{"SensorManPage",
                      "groff",
                      {u"-man"_s, u"-ww"_s, u"-z"_s, u"-Tutf8"_s},
                      u"keelwatch-sensor.8"_s,
                      true},
        ValidatorCase{
            "SensorPostinst", "sh", {u"-n"_s}, u"debian/keelwatch-sensor/postinst"_s, true},
        ValidatorCase{"SensorPrerm", "sh", {u"-n"_s}, u"debian/keelwatch-sensor/prerm"_s, true},
        ValidatorCase{"SensorPostrm", "sh", {u"-n"_s}, u"debian/keelwatch-sensor/postrm"_s, true},
        ValidatorCase{
            "CapturePostinst", "sh", {u"-n"_s}, u"debian/keelwatch-capture/postinst"_s, true},
        ValidatorCase{"CapturePostrm", "sh", {u"-n"_s}, u"debian/keelwatch-capture/postrm"_s, true},
        ValidatorCase{"Logrotate",
                      "logrotate",
                      {u"--debug"_s, u"--state"_s, u"/dev/null"_s},
                      u"keelwatch-sensor.logrotate"_s,
                      false}),
    [](const ::testing::TestParamInfo<ValidatorCase> &info) { return info.param.name; });

// The shipped logrotate rules on a sensor's log folder: the dated files the
// event log leaves at midnight are compressed once, compressed ones older
// than eight weeks go, and the live log is left to its weekly rotation.
TEST(ShippedFile, LogrotateCompressesAndExpiresTheDatedLogs)
{
    if (!Have(u"logrotate"_s))
        GTEST_SKIP() << "logrotate is not installed";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QDir root(scratch.path());
    ASSERT_TRUE(root.mkpath(u"log/eth0"_s));
    const QString folder = root.filePath(u"log/eth0"_s);
    for (const QString &name : {u"keelwatch.log"_s, u"keelwatch20261207.log"_s,
                                u"keelwatch20261101.log.1.gz"_s, u"keelwatch20260901.log.1.gz"_s}) {
        QFile file(folder + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("a line\r\n");
    }
    ASSERT_EQ(
        Execute(u"touch"_s, {u"-d"_s, u"30 days ago"_s, folder + u"/keelwatch20261101.log.1.gz"_s})
            .code,
        0);
    ASSERT_EQ(
        Execute(u"touch"_s, {u"-d"_s, u"100 days ago"_s, folder + u"/keelwatch20260901.log.1.gz"_s})
            .code,
        0);
    QFile shipped(Sources + u"/keelwatch-sensor.logrotate"_s);
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    const QString config = root.filePath(u"logrotate.conf"_s);
    QFile rules(config);
    ASSERT_TRUE(rules.open(QIODevice::WriteOnly));
    rules.write(QString::fromUtf8(shipped.readAll())
                    .replace(u"/var/log/keelwatch"_s, root.filePath(u"log"_s))
                    .toUtf8());
    rules.close();
    // Last rotated long ago, the live log last week's rotation today.
    QFile state(root.filePath(u"state"_s));
    ASSERT_TRUE(state.open(QIODevice::WriteOnly));
    state.write("logrotate state -- version 2\n\"" +
                (folder + u"/keelwatch20261207.log"_s).toUtf8() + "\" 2020-1-1-0:0:0\n\"" +
                (folder + u"/keelwatch.log"_s).toUtf8() + "\" " +
                QDateTime::currentDateTime().toString(u"yyyy-M-d-H:m:s"_s).toUtf8() + "\n");
    state.close();
    const ProcessResult run = Execute(u"logrotate"_s, {u"--state"_s, state.fileName(), config});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              QStringList({u"keelwatch.log"_s, u"keelwatch20261101.log.1.gz"_s,
                           u"keelwatch20261207.log.1.gz"_s}))
        << run.err.toStdString();
}

TEST(ShippedFile, MetainfoNamesThisRelease)
{
    QFile metainfo(Sources + u"/org.quillstone.keelwatch.metainfo.xml"_s);
    ASSERT_TRUE(metainfo.open(QIODevice::ReadOnly));
    EXPECT_TRUE(metainfo.readAll().contains("<release version=\"" KEELWATCH_VERSION "\""));
}

// The desktop package, packed once from this build for all the tests below.
class DesktopPackage : public ::testing::Test
{
  protected:
    // Packs once for every test of the build: every test is a process of
    // its own, and packing strips and compresses every program (minutes on
    // a busy machine). The packages stay in the build tree until a program
    // or a packaging file is newer than them.
    static void SetUpTestSuite()
    {
        if (checked || !Have(u"cpack"_s) || !Have(u"dpkg-deb"_s) || !Have(u"dpkg-shlibdeps"_s))
            return;
        checked = true;
        const QDir folder(QStringLiteral(KEELWATCH_BINARY_DIR "/test-packages"));
        const QStringList names = {PackageFile(u"keelwatch"_s), PackageFile(u"keelwatch-sensor"_s),
                                   PackageFile(u"keelwatch-capture"_s)};
        if (!PackedSince(folder, names, NewestInput())) {
            // Packed beside and moved in whole: an interrupted packing
            // leaves nothing that looks current.
            QDir packing(folder.path() + u".new"_s);
            packing.removeRecursively();
            QDir().mkpath(packing.path());
            const ProcessResult run =
                Execute(u"cpack"_s,
                        {u"-G"_s, u"DEB"_s, u"-B"_s, packing.path(), u"--config"_s,
                         QStringLiteral(KEELWATCH_BINARY_DIR "/CPackConfig.cmake")},
                        270000);
            packOutput = run.out + run.err;
            QDir(folder).removeRecursively();
            if (run.code == 0)
                QDir().rename(packing.path(), folder.path());
            else
                packing.removeRecursively();
        }
        debs = folder.entryList({u"*.deb"_s}, QDir::Files);
        if (debs.contains(names[0]))
            deb = folder.filePath(names[0]);
        if (debs.contains(names[1]))
            sensorDeb = folder.filePath(names[1]);
        if (debs.contains(names[2]))
            captureDeb = folder.filePath(names[2]);
    }

    // The newest of what goes into the packages.
    static QDateTime NewestInput()
    {
        QDateTime newest =
            QFileInfo(QStringLiteral(KEELWATCH_BINARY_DIR "/CPackConfig.cmake")).lastModified();
        for (const QString &program : QStringLiteral(KEELWATCH_PACKED_PROGRAMS).split(u'|'))
            newest = std::max(newest, QFileInfo(program).lastModified());
        QDirIterator files(Sources, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            newest = std::max(newest, files.nextFileInfo().lastModified());
        return newest;
    }

    static bool PackedSince(const QDir &folder, const QStringList &names, const QDateTime &when)
    {
        return std::all_of(names.begin(), names.end(), [&](const QString &name) {
            const QFileInfo package(folder.filePath(name));
            return package.exists() && package.lastModified() >= when;
        });
    }

    void SetUp() override
    {
        if (!checked)
            GTEST_SKIP() << "cpack, dpkg-deb or dpkg-shlibdeps (dpkg-dev) is not installed";
        ASSERT_FALSE(deb.isEmpty()) << packOutput.toStdString();
    }

    // The file name CPack gives a package of this version and machine.
    static QString PackageFile(const QString &name)
    {
        const QString architecture = Execute(u"dpkg"_s, {u"--print-architecture"_s}).out.trimmed();
        return name + u"_" KEELWATCH_VERSION "_"_s + architecture + u".deb"_s;
    }

    static QString Field(const QString &name, const QString &package = deb)
    {
        return Execute(u"dpkg-deb"_s, {u"--field"_s, package, name}).out.trimmed();
    }

    // The plain files of a package, sorted.
    static QStringList Files(const QString &package, QString *listing)
    {
        const ProcessResult run = Execute(u"dpkg-deb"_s, {u"--contents"_s, package});
        *listing = run.out + run.err;
        QStringList files;
        static const QRegularExpression entry(u"^-\\S+ root/root +\\d+ \\S+ \\S+ \\./(\\S+)$"_s);
        for (const QString &line : run.out.split(u'\n')) {
            if (const auto m = entry.match(line); m.hasMatch())
                files << m.captured(1);
        }
        files.sort();
        return files;
    }

    static QStringList DependsField(const QString &package)
    {
        return Field(u"Depends"_s, package).split(u", "_s);
    }

    static bool Lists(const QStringList &depends, const QString &package)
    {
        return std::any_of(depends.begin(), depends.end(), [&](const QString &d) {
            return d == package || d.startsWith(package + u" ("_s);
        });
    }

    static inline bool checked = false;
    static inline QStringList debs;
    static inline QString deb;
    static inline QString sensorDeb;
    static inline QString captureDeb;
    static inline QString packOutput;
};

TEST_F(DesktopPackage, HoldsTheProgramAndItsDesktopFilesOnly)
{
    QString listing;
    EXPECT_EQ(Files(deb, &listing),
              (QStringList{u"usr/bin/keelwatch"_s, u"usr/share/applications/keelwatch.desktop"_s,
                           u"usr/share/doc/keelwatch/changelog.gz"_s,
                           u"usr/share/doc/keelwatch/copyright"_s,
                           u"usr/share/icons/hicolor/scalable/apps/keelwatch.svg"_s,
                           u"usr/share/man/man1/keelwatch.1.gz"_s,
                           u"usr/share/metainfo/org.quillstone.keelwatch.metainfo.xml"_s}))
        << listing.toStdString();
    // Installed from the build as plain files: the install script grants the
    // rights, and only to the group.
    EXPECT_TRUE(listing.contains(u"-rwxr-xr-x root/root"_s)) << listing.toStdString();
}

TEST_F(DesktopPackage, PackingMakesTheDesktopTheCaptureAndTheSensorPackage)
{
    QStringList expected{PackageFile(u"keelwatch"_s), PackageFile(u"keelwatch-capture"_s),
                         PackageFile(u"keelwatch-sensor"_s)};
    expected.sort();
    EXPECT_EQ(debs, expected);
}

TEST_F(DesktopPackage, DependsOnWhatTheProgramLinksAndTheScriptsRun)
{
    const QStringList depends = DependsField(deb);
    for (const QString &package :
         {u"keelwatch-capture (= " KEELWATCH_VERSION ")"_s, u"libpcap0.8"_s, u"libqt6core6"_s,
          u"libqt6dbus6"_s, u"libqt6network6"_s, u"libqt6widgets6"_s}) {
        EXPECT_TRUE(Lists(depends, package))
            << package.toStdString() << " missing from " << depends.join(u", "_s).toStdString();
    }
    // The default external command opens a terminal that pings the node;
    // Qt's own translations word the buttons of a translated program.
    EXPECT_EQ(Field(u"Recommends"_s),
              u"ieee-data, xterm | x-terminal-emulator, iputils-ping, qt6-translations-l10n"_s);
    EXPECT_EQ(Field(u"Version"_s), QStringLiteral(KEELWATCH_VERSION));
}

TEST_F(DesktopPackage, LintianFindsNoError)
{
    if (!Have(u"lintian"_s))
        GTEST_SKIP() << "lintian is not installed";
    const ProcessResult run = Execute(u"lintian"_s, {u"--fail-on"_s, u"error"_s, deb});
    EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u"E: "_s)) << run.out.toStdString();
}

// Every program of every package is built hardened: PIE, full RELRO with
// immediate binding, fortified calls, a stack protector.
TEST_F(DesktopPackage, LintianFindsNoHardeningTagInAnyPackage)
{
    if (!Have(u"lintian"_s))
        GTEST_SKIP() << "lintian is not installed";
    ASSERT_FALSE(captureDeb.isEmpty() || sensorDeb.isEmpty()) << packOutput.toStdString();
    const ProcessResult run =
        Execute(u"lintian"_s, {u"--display-info"_s, deb, captureDeb, sensorDeb}, 300000);
    EXPECT_NE(run.code, -1) << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u"hardening-"_s)) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains(u"E: "_s)) << run.out.toStdString();
}

TEST_F(DesktopPackage, CapturePackageHoldsTheHelperAndDependsOnWhatItRuns)
{
    ASSERT_FALSE(captureDeb.isEmpty()) << packOutput.toStdString();
    QString listing;
    EXPECT_EQ(Files(captureDeb, &listing),
              (QStringList{u"usr/libexec/keelwatch/keelwatch-capture"_s,
                           u"usr/share/doc/keelwatch-capture/changelog.gz"_s,
                           u"usr/share/doc/keelwatch-capture/copyright"_s}))
        << listing.toStdString();
    const QStringList depends = DependsField(captureDeb);
    for (const QString &package : {u"adduser"_s, u"libcap2-bin"_s, u"libpcap0.8"_s})
        EXPECT_TRUE(Lists(depends, package))
            << package.toStdString() << " missing from " << depends.join(u", "_s).toStdString();
    // No Qt: the program with capabilities loads no plugins.
    for (const QString &d : depends)
        EXPECT_FALSE(d.startsWith(u"libqt"_s)) << depends.join(u", "_s).toStdString();
}

// The packages' install scripts run as dpkg runs them on a system rooted in
// a scratch folder (DPKG_ROOT) that holds all three packages, with a private
// copy of /etc so that the group they add never reaches this machine.
class InstallScripts : public DesktopPackage
{
  protected:
    void SetUp() override
    {
        DesktopPackage::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (geteuid() != 0)
            GTEST_SKIP() << "the install scripts need root (chown, setcap, mount namespace)";
        if (!Have(u"unshare"_s) || !Have(u"setcap"_s) || !Have(u"getcap"_s) || !Have(u"addgroup"_s))
            GTEST_SKIP() << "unshare, setcap, getcap or addgroup is not installed";
        ASSERT_FALSE(captureDeb.isEmpty() || sensorDeb.isEmpty()) << packOutput.toStdString();
        ASSERT_TRUE(scratch.isValid());
        // Members and others must reach the programs through the folder.
        ASSERT_TRUE(QFile::setPermissions(scratch.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                              QFile::ExeOwner | QFile::ReadGroup |
                                                              QFile::ExeGroup | QFile::ReadOther |
                                                              QFile::ExeOther));
        const QDir dir(scratch.path());
        for (const auto &[package, control] :
             {std::pair{deb, u"control"_s}, std::pair{captureDeb, u"capture"_s},
              std::pair{sensorDeb, u"sensor"_s}}) {
            ASSERT_EQ(Execute(u"dpkg-deb"_s, {u"-x"_s, package, dir.filePath(u"root"_s)}).code, 0);
            ASSERT_EQ(Execute(u"dpkg-deb"_s, {u"-e"_s, package, dir.filePath(control)}).code, 0);
        }
        ASSERT_TRUE(dir.mkpath(u"root/var/lib/dpkg"_s));
        QFile overrides(dir.filePath(u"root/var/lib/dpkg/statoverride"_s));
        ASSERT_TRUE(overrides.open(QIODevice::WriteOnly));
        overrides.close();
        ASSERT_EQ(Execute(u"cp"_s, {u"-a"_s, u"/etc"_s, dir.filePath(u"etc"_s)}).code, 0);
    }

    // Runs the shell commands with /etc replaced by the private copy and
    // DPKG_ROOT set; $root names the installed files, $control, $capture and
    // $sensor the control files of the desktop, capture and sensor package.
    ProcessResult InPrivateSystem(const QString &commands)
    {
        const QString dir = scratch.path();
        return Execute(u"unshare"_s,
                       {u"--mount"_s, u"sh"_s, u"-ec"_s,
                        u"mount --make-rprivate / && mount --bind \"$0/etc\" /etc\n"
                        "export DPKG_ROOT=\"$0/root\" root=\"$0/root\" control=\"$0/control\"\n"
                        "export capture=\"$0/capture\" sensor=\"$0/sensor\"\n"_s +
                            commands,
                        dir});
    }

    QTemporaryDir scratch;
};

TEST_F(InstallScripts, ConfigureLimitsTheHelperToTheGroupWithTwoCapabilities)
{
    const ProcessResult run = InPrivateSystem(
        u"\"$capture/postinst\" configure\n"
        "\"$control/postinst\" configure\n"
        "\"$sensor/postinst\" configure\n"
        "cd \"$root\"\n"
        "stat -c '%U:%G %a %n' usr/libexec/keelwatch/keelwatch-capture usr/bin/keelwatch "
        "usr/bin/keelwatch-sensor\n"
        // The helper is the only file with capabilities.
        "getcap -r . | sed 's|^\\./|/|'\n"
        "dpkg-statoverride --list\n"
        // An upgrade leaves everything as the first configure made it.
        "\"$capture/postinst\" configure 3.0.4\n"
        "dpkg-statoverride --list\n"
        "\"$capture/postrm\" purge\n"
        "echo purged: $(dpkg-statoverride --list)\n"
        "getent group keelwatch | cut -d: -f1\n"_s);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"root:keelwatch 750 usr/libexec/keelwatch/keelwatch-capture\n"
                       "root:root 755 usr/bin/keelwatch\n"
                       "root:root 755 usr/bin/keelwatch-sensor\n"
                       "/usr/libexec/keelwatch/keelwatch-capture cap_net_admin,cap_net_raw=ep\n"
                       "root keelwatch 750 /usr/libexec/keelwatch/keelwatch-capture\n"
                       "root keelwatch 750 /usr/libexec/keelwatch/keelwatch-capture\n"
                       "purged:\n"
                       "keelwatch\n"_s)
        << run.err.toStdString();
}

TEST_F(InstallScripts, AnOverrideOfTheAdministratorStays)
{
    const ProcessResult run =
        InPrivateSystem(u"addgroup --quiet --system keelwatch\n"
                        "dpkg-statoverride --update --add root root 0700 "
                        "/usr/libexec/keelwatch/keelwatch-capture\n"
                        "\"$capture/postinst\" configure\n"
                        "stat -c '%U:%G %a' \"$root/usr/libexec/keelwatch/keelwatch-capture\"\n"
                        "\"$capture/postrm\" purge\n"
                        "dpkg-statoverride --list\n"_s);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"root:root 700\nroot root 700 /usr/libexec/keelwatch/keelwatch-capture\n"_s)
        << run.err.toStdString();
}

// Versions before the helper made the program itself root:keelwatch 0750;
// the upgrade takes that back, and leaves an administrator's own override.
TEST_F(InstallScripts, AnUpgradeMakesTheProgramPlainAgain)
{
    const ProcessResult run =
        InPrivateSystem(u"addgroup --quiet --system keelwatch\n"
                        "dpkg-statoverride --update --add root keelwatch 0750 /usr/bin/keelwatch\n"
                        "\"$control/postinst\" configure 3.0.4\n"
                        "stat -c '%U:%G %a' \"$root/usr/bin/keelwatch\"\n"
                        "echo overrides: $(dpkg-statoverride --list)\n"
                        "dpkg-statoverride --update --add root root 0700 /usr/bin/keelwatch\n"
                        "\"$control/postinst\" configure 3.0.4\n"
                        "\"$control/postrm\" purge\n"
                        "dpkg-statoverride --list\n"_s);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"root:root 755\noverrides:\nroot root 700 /usr/bin/keelwatch\n"_s)
        << run.err.toStdString();
}

// The installed packages used by a member of the keelwatch group (nobody
// with the group added) and by another user (nobody alone), who start the
// programs with whatever environment and arguments they like.
class GroupMember : public InstallScripts
{
  protected:
    void SetUp() override
    {
        InstallScripts::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!Have(u"setpriv"_s))
            GTEST_SKIP() << "setpriv (util-linux) is not installed";
        const QDir dir(scratch.path());
        ASSERT_TRUE(dir.mkpath(u"home/config/Quillstone"_s));
        ASSERT_EQ(InPrivateSystem(u"\"$capture/postinst\" configure\n"
                                  "chown -R nobody \"$0/home\"\n"_s)
                      .code,
                  0);
    }

    // Shell words that run a program as the member or the other user.
    static QString AsMember()
    {
        return u"setpriv --reuid=nobody --regid=nogroup "
               "--groups=\"$(getent group keelwatch | cut -d: -f3)\" "_s;
    }
    // Through env: setpriv still holds root's capabilities when it executes
    // the next program, which so passes any mode with an execute bit.
    static QString AsOther()
    {
        return u"setpriv --reuid=nobody --regid=nogroup --clear-groups env "_s;
    }

    QString Home(const QString &file = QString()) const
    {
        return QDir(scratch.path()).filePath(u"home/"_s + file);
    }

    static QString Read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

class StylePlugin : public GroupMember, public ::testing::WithParamInterface<const char *>
{
};

// Qt loads a style plugin the member chose into the program; it runs, but
// with no capability to misuse.
TEST_P(StylePlugin, LoadedIntoTheProgramHoldsNoCapability)
{
    const QDir dir(scratch.path());
    ASSERT_TRUE(dir.mkpath(u"plugins/styles"_s));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KEELWATCH_STYLE_PROBE),
                            dir.filePath(u"plugins/styles/libstyleprobe.so"_s)));
    const ProcessResult run = InPrivateSystem(
        u"chmod -R a+rX \"$0/plugins\"\n"_s + AsMember() +
        u"env QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=\"$0/plugins\" "
        "KEELWATCH_STYLE_PROBE=\"$0/home/probe\" HOME=\"$0/home\" "
        "XDG_CONFIG_HOME=\"$0/home/config\" "_s +
        QString::fromUtf8(GetParam()) +
        u" >/dev/null 2>&1 &\n"
        "program=$!\n"
        "for i in $(seq 300); do [ -s \"$0/home/probe\" ] && break; sleep 0.1; done\n"
        "kill $program; wait $program || true\n"_s);
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    const QString probe = Read(Home(u"probe"_s));
    EXPECT_TRUE(probe.contains(u"CapEff:\t0000000000000000"_s)) << probe.toStdString();
    EXPECT_TRUE(probe.contains(u"CapPrm:\t0000000000000000"_s)) << probe.toStdString();
    EXPECT_TRUE(probe.contains(u"CapAmb:\t0000000000000000"_s)) << probe.toStdString();
}

INSTANTIATE_TEST_SUITE_P(GroupMember, StylePlugin,
                         ::testing::Values("QT_STYLE_OVERRIDE=capprobe \"$root/usr/bin/keelwatch\"",
                                           "\"$root/usr/bin/keelwatch\" -style capprobe"),
                         [](const auto &info) {
                             return info.index == 0 ? "Environment" : "Argument";
                         });

// A member scans a lab segment with the desktop program and with the
// sensor, both through the helper; the sensor's one pass finds the
// promiscuous host, the program's first cycle too.
TEST_F(GroupMember, ScansALabThroughTheHelper)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    LabSegment lab(3, {u"2"_s});
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    {
        QSettings store(Home(u"config/Quillstone/keelwatch.conf"_s), QSettings::IniFormat);
        labscan::WriteSettings(store, Home(u"keelwatch.log"_s), false, QString(), 3);
        ASSERT_EQ(store.status(), QSettings::NoError);
    }
    ProcessResult run;
    {
        EnteredNamespace scanner(lab.Namespace(u"scan"_s));
        ASSERT_TRUE(scanner.entered);
        run = InPrivateSystem(
            u"chown -R nobody \"$0/home\"\n"
            "code=0\n"_s +
            AsMember() +
            u"\"$root/usr/bin/keelwatch-sensor\" --interface wire0 --range "
            "10.77.0.11-10.77.0.13 --node-timer 0 --interval 1 --once --json "
            ">\"$0/home/sensor.json\" || code=$?\n"
            "echo sensor: $code\n"_s +
            AsMember() +
            u"env QT_QPA_PLATFORM=offscreen HOME=\"$0/home\" "
            "XDG_CONFIG_HOME=\"$0/home/config\" \"$root/usr/bin/keelwatch\" auto "
            ">\"$0/home/keelwatch.out\" 2>&1 &\n"
            "program=$!\n"
            "for i in $(seq 900); do\n"
            "  grep -q '#Cyclic_Count,1,' \"$0/home/keelwatch.log\" 2>/dev/null && break\n"
            "  sleep 0.1\n"
            "done\n"
            "kill $program; wait $program || true\n"_s);
    }
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    // One pass that found a suspect ends with 1.
    EXPECT_EQ(run.out, u"sensor: 1\n"_s) << run.err.toStdString();
    QStringList suspects;
    int nodes = 0;
    for (const QString &line : Read(Home(u"sensor.json"_s)).split(u'\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line.toUtf8()).object();
        if (event.value(u"event"_s).toString() != u"NODE"_s)
            continue;
        ++nodes;
        if (event.value(u"suspect"_s).toBool())
            suspects << event.value(u"ip"_s).toString();
    }
    EXPECT_EQ(nodes, 3) << run.err.toStdString();
    EXPECT_EQ(suspects, QStringList{u"10.77.0.12"_s});

    const QString log = Read(Home(u"keelwatch.log"_s));
    EXPECT_TRUE(log.contains(u"#Cyclic_Count,1,"_s))
        << log.toStdString() << Read(Home(u"keelwatch.out"_s)).toStdString();
    EXPECT_TRUE(log.contains(u"10.77.0.12,["_s + labscan::HostMac(2) + u"],PROMISC,SUSPECT"_s))
        << log.toStdString();
}

// Without the group nobody starts the helper, by hand or through a program;
// the program says what is missing.
TEST_F(GroupMember, OthersCannotStartTheHelper)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    LabSegment lab(1, {});
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    ProcessResult run;
    {
        EnteredNamespace scanner(lab.Namespace(u"scan"_s));
        ASSERT_TRUE(scanner.entered);
        run = InPrivateSystem(u"code=0\n"_s + AsOther() +
                              u"\"$root/usr/libexec/keelwatch/keelwatch-capture\" 2>/dev/null "
                              "|| code=$?\n"
                              "echo helper: $code\n"
                              "code=0\n"_s +
                              AsOther() +
                              u"\"$root/usr/bin/keelwatch-sensor\" --interface wire0 --range "
                              "10.77.0.11-10.77.0.11 --once || code=$?\n"
                              "echo sensor: $code\n"_s);
    }
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_EQ(run.out, u"helper: 126\nsensor: 2\n"_s) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"only root and members of the keelwatch group can capture"_s))
        << run.err.toStdString();
}

// The sensor's package, from the same packing.
class SensorPackage : public DesktopPackage
{
  protected:
    void SetUp() override
    {
        DesktopPackage::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_FALSE(sensorDeb.isEmpty()) << packOutput.toStdString();
    }
};

TEST_F(SensorPackage, HoldsTheSensorItsServiceAndDocumentation)
{
    QString listing;
    EXPECT_EQ(Files(sensorDeb, &listing),
              (QStringList{u"etc/logrotate.d/keelwatch-sensor"_s,
                           u"lib/systemd/system/keelwatch-sensor@.service"_s,
                           u"usr/bin/keelwatch-sensor"_s,
                           u"usr/share/doc/keelwatch-sensor/changelog.gz"_s,
                           u"usr/share/doc/keelwatch-sensor/copyright"_s,
                           u"usr/share/doc/keelwatch-sensor/examples/sensor-eth0.conf"_s,
                           u"usr/share/man/man8/keelwatch-sensor.8.gz"_s}))
        << listing.toStdString();
}

// No windows: a sensor machine needs no Qt Widgets or display libraries.
TEST_F(SensorPackage, DependsOnTheHeadlessLibrariesOnly)
{
    const QStringList depends = DependsField(sensorDeb);
    for (const QString &package : {u"keelwatch-capture (= " KEELWATCH_VERSION ")"_s,
                                   u"libpcap0.8"_s, u"libqt6core6"_s, u"libqt6network6"_s})
        EXPECT_TRUE(Lists(depends, package))
            << package.toStdString() << " missing from " << depends.join(u", "_s).toStdString();
    for (const QString &package : {u"libqt6widgets6"_s, u"libqt6gui6"_s})
        EXPECT_FALSE(Lists(depends, package)) << depends.join(u", "_s).toStdString();
    EXPECT_EQ(Field(u"Recommends"_s, sensorDeb), u"ieee-data, logrotate"_s);
}

TEST_F(SensorPackage, LintianFindsNoError)
{
    if (!Have(u"lintian"_s))
        GTEST_SKIP() << "lintian is not installed";
    const ProcessResult run = Execute(u"lintian"_s, {u"--fail-on"_s, u"error"_s, sensorDeb});
    EXPECT_EQ(run.code, 0) << run.out.toStdString() << run.err.toStdString();
    EXPECT_FALSE(run.out.contains(u"E: "_s)) << run.out.toStdString();
}

// The program as the package installs it, run as the service runs it: an
// unprivileged user given only CAP_NET_RAW and CAP_NET_ADMIN, ambient, here
// on a lab segment with one promiscuous host of three. Once it scans, no
// thread of it holds either.
TEST_F(SensorPackage, ScansAsAnUnprivilegedUserWithTwoCapabilities)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    if (!Have(u"setpriv"_s))
        GTEST_SKIP() << "setpriv (util-linux) is not installed";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    // The user must reach the program through the scratch folder.
    ASSERT_TRUE(QFile::setPermissions(
        scratch.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                            QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
    const QString root = QDir(scratch.path()).filePath(u"root"_s);
    ASSERT_EQ(Execute(u"dpkg-deb"_s, {u"-x"_s, sensorDeb, root}).code, 0);
    LabSegment lab(3, {u"2"_s});
    ASSERT_TRUE(lab.built) << lab.output.toStdString();

    QProcess sensor;
    {
        EnteredNamespace scanner(lab.Namespace(u"scan"_s));
        ASSERT_TRUE(scanner.entered);
        sensor.start(u"setpriv"_s,
                     {u"--reuid=nobody"_s, u"--regid=nogroup"_s, u"--clear-groups"_s,
                      u"--inh-caps=-all,+net_raw,+net_admin"_s,
                      u"--ambient-caps=+net_raw,+net_admin"_s,
                      u"--bounding-set=-all,+net_raw,+net_admin"_s, u"--no-new-privs"_s,
                      root + u"/usr/bin/keelwatch-sensor"_s, u"--interface"_s, u"wire0"_s,
                      u"--range"_s, u"10.77.0.11-10.77.0.13"_s, u"--node-timer"_s, u"0"_s,
                      u"--interval"_s, u"1"_s, u"--once"_s, u"--json"_s});
    }
    // Its first event line comes once the sweep has found a node.
    ASSERT_TRUE(sensor.waitForReadyRead(60000));
    const QStringList held = processinfo::HeldCapabilities(pid_t(sensor.processId()));
    EXPECT_TRUE(held.isEmpty()) << held.join(u"; "_s).toStdString();
    ASSERT_TRUE(sensor.waitForFinished(60000));
    const QString errors = QString::fromLocal8Bit(sensor.readAllStandardError());
    EXPECT_EQ(sensor.exitCode(), 1) << errors.toStdString();
    QStringList suspects;
    int nodes = 0;
    for (const QByteArray &line : sensor.readAllStandardOutput().split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value(u"event"_s).toString() != u"NODE"_s)
            continue;
        ++nodes;
        if (event.value(u"suspect"_s).toBool())
            suspects << event.value(u"ip"_s).toString();
    }
    EXPECT_EQ(nodes, 3) << errors.toStdString();
    EXPECT_TRUE(suspects.contains(u"10.77.0.12"_s)) << suspects.join(u' ').toStdString();
}

} // namespace
