#include "net/sock_error.h"
#include "net/winsock_api.h"

#include <gtest/gtest.h>

namespace {

std::string raisedMessage(int error, int context)
{
    try {
        RaiseSocketError(error, context);
    } catch (const ESockError& raised) {
        return raised.what();
    }
    return "(nothing raised)";
}

TEST(SocketErrorText, KnownUnknownAndZero)
{
    EXPECT_EQ(SocketErrorText(0), "");
    EXPECT_EQ(SocketErrorText(10061), "Connection refused");
    EXPECT_EQ(SocketErrorText(10037), "Operation, already in progress");
    EXPECT_EQ(SocketErrorText(11003), "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP");
    EXPECT_EQ(SocketErrorText(12345), "Unknown Error 12345");
    EXPECT_EQ(SocketErrorText(-7), "Unknown Error -7");
    EXPECT_EQ(SocketErrorText(20014), "Error %d (%s) recieving");
}

TEST(SocketErrorText, TableHoldsEveryWinsockNumberAndContext)
{
    const int numbers[] = {10004, 10009, 10013, 10014, 10022, 10024, 10035, 10036, 10037, 10038, 10039,
                           10040, 10041, 10042, 10043, 10044, 10045, 10046, 10047, 10048, 10049, 10050,
                           10051, 10052, 10053, 10054, 10055, 10056, 10057, 10058, 10059, 10060, 10061,
                           10062, 10063, 10064, 10065, 10066, 10067, 10068, 10069, 10070, 10071, 10091,
                           10092, 10093, 10101, 11001, 11002, 11003, 11004};
    ASSERT_EQ(std::size(numbers), 51u);
    for (int number : numbers)
        EXPECT_EQ(SocketErrorText(number).rfind("Unknown Error", 0), std::string::npos) << number;
    for (int context = 20001; context <= 20025; ++context)
        EXPECT_FALSE(SocketErrorText(context).empty()) << context;
    EXPECT_EQ(SocketErrorText(10010), "Unknown Error 10010");
    EXPECT_EQ(SocketErrorText(20026), "Unknown Error 20026");
}

TEST(RaiseSocketError, BuildsMessagesFromNumberAndContext)
{
    EXPECT_EQ(raisedMessage(10061, ctxConnecting), "Error 10061 (Connection refused) connecting");
    EXPECT_EQ(raisedMessage(12345, ctxConnecting), "Error 12345 (Unknown Error 12345) connecting");
    EXPECT_EQ(raisedMessage(11001, ctxFindingAddress), "Error 11001 (Host not found) finding address for host");
    EXPECT_EQ(raisedMessage(0, ctxSocketNotOpen), "Socket not open");
    // A context without placeholders drops the number.
    EXPECT_EQ(raisedMessage(10060, ctxNoAddress), "No address specified");
    EXPECT_EQ(raisedMessage(10093, ctxNone), "Successful WSASTARTUP not yet performed");
    EXPECT_EQ(raisedMessage(10092, ctxStartup), "Error 10092 (WINSOCK DLL Version out of range) starting up WinSock");
    EXPECT_EQ(raisedMessage(10048, ctxBinding), "Error 10048 (Address already in use) Binding Socket");
}

TEST(RaiseSocketError, IsAnExceptionOfTheGeneralClass)
{
    try {
        RaiseSocketError(10061, ctxConnecting);
    } catch (const Exception& error) {
        EXPECT_NE(dynamic_cast<const ESockError*>(&error), nullptr);
        return;
    }
    FAIL() << "nothing raised";
}

TEST(LibraryName, ExtensionCaseAndLoadedRules)
{
    tWinsockAPI api;
    api.SetLibraryName("wsock32");
    EXPECT_EQ(api.LibraryName(), "wsock32.DLL");
    api.SetLibraryName("C:\\dir.v2\\winsock");
    EXPECT_EQ(api.LibraryName(), "C:\\dir.v2\\winsock.DLL");
    api.SetLibraryName("sockets.lib");
    EXPECT_EQ(api.LibraryName(), "sockets.lib");
    api.SetLibraryName("SOCKETS.LIB");   // same name, other case: kept as it was
    EXPECT_EQ(api.LibraryName(), "sockets.lib");
    api.SetLibraryName("");
    EXPECT_EQ(api.LibraryName(), "");

    EXPECT_FALSE(api.Loaded());
    api.inet_addr("1.2.3.4");   // the first call loads the library
    EXPECT_TRUE(api.Loaded());
    EXPECT_EQ(api.LibraryName(), "WSOCK32.DLL");
    try {
        api.SetLibraryName("WSOCK32.DLL");
        FAIL() << "a loaded library's name was changed";
    } catch (const ESockError& error) {
        EXPECT_STREQ(error.what(), "Winsock DLL Already Loaded, Cannot change name");
    }
}

TEST(LibraryName, UnknownFunctionIsAGeneralError)
{
    tWinsockAPI api;
    try {
        api.GetProc("WSAAsyncGetHostByAddr");
        FAIL() << "an unknown function was found";
    } catch (const ESockError&) {
        FAIL() << "raised as a socket error";
    } catch (const Exception& error) {
        EXPECT_STREQ(error.what(), "Unable to locate function in DLL");
    }
}

} // namespace
