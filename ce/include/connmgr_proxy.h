#pragma once

// Proxy extension of the Connection Manager: asked through ConnMgrProviderMessage with
// IID_ConnPrv_IProxyExtension and a PROXY_CONFIG record.

#include <windows.h>

#define CMPROXY_PROXYSERVER_LENGTH 256
#define CMPROXY_USERNAME_LENGTH 32
#define CMPROXY_PASSWORD_LENGTH 32
#define CMPROXY_PROXYOVERRIDE_LENGTH 64
#define CMPROXY_EXTRAINFO_LENGTH 256

typedef struct _PROXY_CONFIG {
    DWORD dwType;
    BOOL dwEnable;
    WCHAR szProxyServer[CMPROXY_PROXYSERVER_LENGTH];
    WCHAR szUsername[CMPROXY_USERNAME_LENGTH];
    WCHAR szPassword[CMPROXY_PASSWORD_LENGTH];
    WCHAR szProxyOverride[CMPROXY_PROXYOVERRIDE_LENGTH];
    WCHAR szExtraInfo[CMPROXY_EXTRAINFO_LENGTH];
} PROXY_CONFIG;

// {AF96B0BD-A481-482C-A094-A8448767A0C0}
static const GUID IID_ConnPrv_IProxyExtension = {
    0xAF96B0BD, 0xA481, 0x482C, {0xA0, 0x94, 0xA8, 0x44, 0x87, 0x67, 0xA0, 0xC0}};
