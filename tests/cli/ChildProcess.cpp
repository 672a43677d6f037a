#include "ChildProcess.h"

#include <thread>

namespace clitest {

namespace {

// A handle we own.
class CHandle {
public:
    CHandle() = default;
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE* Out()
    {
        Close();
        return &m_handle;
    }
    HANDLE Get() const { return m_handle; }
    void Close()
    {
        if (m_handle)
            ::CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

// A pipe whose write end the child inherits and whose read end stays here.
bool MakePipe(CHandle& read, CHandle& write)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!::CreatePipe(&r, &w, &inherit, 0))
        return false;
    *read.Out() = r;
    *write.Out() = w;
    return ::SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0) != FALSE;
}

void Drain(HANDLE pipe, std::string& into)
{
    char chunk[65536];
    DWORD got = 0;
    while (::ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
        into.append(chunk, got);
}

}  // namespace

std::string QuoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    // Backslashes are literal except before a quote, where they pair up.
    std::string quoted = "\"";
    for (std::size_t i = 0;; ++i) {
        std::size_t backslashes = 0;
        while (i < arg.size() && arg[i] == '\\') {
            ++i;
            ++backslashes;
        }
        if (i == arg.size()) {
            quoted.append(backslashes * 2, '\\');
            break;
        }
        if (arg[i] == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        quoted += arg[i];
    }
    return quoted + "\"";
}

ChildResult RunChild(const std::string& exe, const std::vector<std::string>& args)
{
    ChildResult result;
    CHandle outRead, outWrite, errRead, errWrite;
    if (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite))
        return result;

    std::string commandLine = QuoteArgument(exe);
    for (const std::string& arg : args)
        commandLine += " " + QuoteArgument(arg);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outWrite.Get();
    startup.hStdError = errWrite.Get();
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process))
        return result;
    result.started = true;
    CHandle processHandle, threadHandle;
    *processHandle.Out() = process.hProcess;
    *threadHandle.Out() = process.hThread;
    // Only the child may hold the write ends, or the reads never end.
    outWrite.Close();
    errWrite.Close();

    std::thread errReader([&] { Drain(errRead.Get(), result.err); });
    Drain(outRead.Get(), result.out);
    errReader.join();
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &result.status);
    return result;
}

}  // namespace clitest
