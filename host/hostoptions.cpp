#include "hostoptions.h"

namespace {
bool takeValue(const QStringList& args, int& i, const QString& option, QString& value, QString& error)
{
    if (i + 1 >= args.size()) {
        error = QStringLiteral("%1 needs a value").arg(option);
        return false;
    }
    value = args.at(++i);
    return true;
}
} // namespace

bool HostOptions::Parse(const QStringList& args, QString& error)
{
    const QString envMask = qEnvironmentVariable("VRX_TRACE_MASK");
    if (!envMask.isEmpty()) {
        bool ok = false;
        traceMask = envMask.toUInt(&ok, 0);
        if (!ok) {
            error = QStringLiteral("VRX_TRACE_MASK is not a number: %1").arg(envMask);
            return false;
        }
    }
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        QString value;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            showHelp = true;
        } else if (arg == QLatin1String("--module")) {
            if (!takeValue(args, i, arg, pluginPath, error))
                return false;
        } else if (arg == QLatin1String("--channels")) {
            if (!takeValue(args, i, arg, value, error))
                return false;
            bool ok = false;
            channels = value.toInt(&ok);
            if (!ok || channels < 1 || channels > kMaxChannels) {
                error = QStringLiteral("--channels must be a number from 1 to %1, not \"%2\"").arg(kMaxChannels).arg(value);
                return false;
            }
        } else if (arg == QLatin1String("--trace-mask")) {
            if (!takeValue(args, i, arg, value, error))
                return false;
            bool ok = false;
            traceMask = value.toUInt(&ok, 0);
            if (!ok) {
                error = QStringLiteral("--trace-mask must be a number, not \"%1\"").arg(value);
                return false;
            }
        } else if (arg == QLatin1String("--trace-stdout")) {
            traceToTerminal = true;
        } else if (arg == QLatin1String("--log")) {
            if (!takeValue(args, i, arg, logFile, error))
                return false;
        } else if (arg == QLatin1String("--scenario")) {
            if (!takeValue(args, i, arg, scenario, error))
                return false;
        } else if (arg == QLatin1String("--output")) {
            if (!takeValue(args, i, arg, outputDir, error))
                return false;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            // Qt's own options (-platform, -style ...) are taken out before.
            error = QStringLiteral("unknown option %1").arg(arg);
            return false;
        } else {
            error = QStringLiteral("unexpected argument %1").arg(arg);
            return false;
        }
    }
    return true;
}

QString HostOptions::Usage()
{
    return QStringLiteral(
        "usage: vrxrtb-host [options]\n"
        "  --module PATH      plug-in module to load (default: the build's plugins/libvrxrtb.so)\n"
        "  --channels N       receiver channels, one toolbar each (1..64, default 2)\n"
        "  --trace-mask M     trace mask (64 flow, 32 warnings; also VRX_TRACE_MASK)\n"
        "  --trace-stdout     also write traces to the terminal\n"
        "  --log FILE         trace log file (default vrxrtb-host.log in the output folder)\n"
        "  --scenario NAME    run a scripted road headless ('all' for every road)\n"
        "  --output DIR       folder for logs and screenshots (default ./vrxrtb-host-output)\n");
}
