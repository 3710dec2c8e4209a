#include "EngineScripts.h"

#include <QFile>
#include <QJsonDocument>

namespace tovarine::EngineScripts {

namespace {

const char kShim[] = R"JS(
(function () {
    'use strict';
    if (window.__tovarineEngine) { return; }
    var queue = [];
    var bridge = null;
    function send(text) {
        if (bridge) { bridge.post(text); } else { queue.push(text); }
    }
    var handler = {
        postMessage: function (body) {
            var text;
            try { text = JSON.stringify(body); } catch (e) { return; }
            if (typeof text === 'string') { send(text); }
        }
    };
    window.webkit = window.webkit || {};
    window.webkit.messageHandlers = window.webkit.messageHandlers || {};
    window.webkit.messageHandlers.engine = handler;
    Object.defineProperty(window, '__tovarineEngine', {
        value: Object.freeze({
            startFinished: function (ok, message) { if (bridge) { bridge.startFinished(ok, message); } }
        })
    });
    new QWebChannel(qt.webChannelTransport, function (channel) {
        bridge = channel.objects.engineBridge;
        var pending = queue;
        queue = [];
        pending.forEach(function (text) { bridge.post(text); });
    });

    var pageFetch = window.fetch ? window.fetch.bind(window) : null;
    function engineUrl(input) {
        var text = (typeof input === 'string') ? input : (input && input.url) ? input.url : String(input);
        try {
            var url = new URL(text, document.baseURI);
            return url.protocol === 'tovarine-engine:' ? url.href : null;
        } catch (e) { return null; }
    }
    window.fetch = function (input, init) {
        var url = engineUrl(input);
        var method = (init && init.method) ? String(init.method).toUpperCase() : 'GET';
        if (url === null || method !== 'GET') {
            return pageFetch ? pageFetch(input, init) : Promise.reject(new TypeError('fetch is not available'));
        }
        return new Promise(function (resolve, reject) {
            var xhr = new XMLHttpRequest();
            xhr.open('GET', url, true);
            xhr.responseType = 'arraybuffer';
            xhr.onload = function () {
                var status = (xhr.status >= 200 && xhr.status <= 599) ? xhr.status : 200;
                var type = xhr.getResponseHeader('Content-Type') || 'application/octet-stream';
                resolve(new Response(xhr.response, { status: status, headers: { 'Content-Type': type } }));
            };
            xhr.onerror = function () { reject(new TypeError('Failed to fetch ' + url)); };
            xhr.onabort = function () { reject(new DOMException('The request was aborted', 'AbortError')); };
            xhr.send();
        });
    };
})();
)JS";

const char kStart[] = R"JS(
(function (opts) {
    'use strict';
    function describe(error) {
        try { return String(error); } catch (e) { return 'unknown error'; }
    }
    function report(ok, message) { window.__tovarineEngine.startFinished(ok, message); }
    (async function (opts) { return window.tovarineMorvel.start(opts); })(opts)
        .then(function () { report(true, ''); }, function (error) { report(false, describe(error)); });
})(%1);
)JS";

} // namespace

QString documentCreationScript()
{
    static const QString script = [] {
        QFile channelClient(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
        channelClient.open(QIODevice::ReadOnly);
        return QString::fromUtf8(channelClient.readAll()) + QString::fromUtf8(kShim);
    }();
    return script;
}

QString startCall(const QJsonObject& options)
{
    return QString::fromUtf8(kStart).arg(
        QString::fromUtf8(QJsonDocument(options).toJson(QJsonDocument::Compact)));
}

} // namespace tovarine::EngineScripts
