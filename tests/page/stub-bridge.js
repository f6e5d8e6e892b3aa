// Stands in for the native FinderObj of the wizard program. It records every
// call, answers from canned cameras, runs slow requests as fake workers that
// complete after a few polls, and calls the page back the way the program
// does: synchronously inside the bridge call, every argument a string.
// The scenario comes from the page address:
// ?stub=main|nocams|stuck|unsaved|close|fields|silent|shot. In every one the
// driver can make the cameras stop answering (state.silent) or refuse what is
// sent to them while they still answer reads (state.refuse).
"use strict";

(function () {
  var params = new URLSearchParams(location.search);
  var scenario = params.get("stub") || "main";

  var HOSTILE_NAME = 'Gate "north" <script>window.__pwned=1</script>' +
                     '<img src=x onerror="window.__pwned=2">\nline two \\ end';
  var HOSTILE_SSID = '"><b>x</b><script>window.__pwned=3</script>\u2028next';

  // reserved: the camera's Reserved byte; bit 0 goes to GatherCameraInfo,
  // bit 1 (HTTPS) shapes GetAddress_. noAddress: GetAddress_ fails.
  var cameras = scenario === "nocams" ? [] : [
    { index: 0, mac: "02005E000201", model: "RC-100", name: "Porch", ip: "192.0.2.2",
      mask: "255.255.255.0", gateway: "192.0.2.1", dns1: "192.0.2.1", dns2: "", dhcp: 0,
      port: 80, reserved: 1, noAddress: scenario === "close", user: "admin", password: "" },
    { index: 2, mac: "02005E000203", model: "RC-100", name: HOSTILE_NAME, ip: "192.0.2.4",
      mask: "255.255.255.0", gateway: "192.0.2.1", dns1: "192.0.2.1", dns2: "192.0.2.9", dhcp: 1,
      port: 8443, reserved: 2, noAddress: false, user: "admin", password: "secret" }
  ];
  var wireless = { enable: 0, mode: 0, ssid: "OldNet", channel: 6, auth: 3, enc: 3,
                   wepLen: 0, wepFormat: 0, wepDefault: 0, wepKey: "", wpaKey: "oldpassphrase" };
  var stations = [
    [HOSTILE_SSID, 40, 0, 3, 3, 11],
    ["HomeNet", 88, 0, 3, 3, 6],
    ["Cafe", 55, 0, 0, 0, 3],
    ["", 20, 0, 3, 3, 1]
  ];
  // In "silent" two cameras share a name and know no gateway or DNS
  // server, and two networks differ only at the end of their long names.
  if (scenario === "silent") {
    cameras[1].name = "Porch";
    cameras[0].gateway = cameras[0].dns1 = "0.0.0.0";
    stations = [["Neighbours-Network-Upstairs-5G-A", 70, 0, 3, 3, 1],
                ["Neighbours-Network-Upstairs-5G-B", 60, 0, 3, 3, 6]];
  }

  var calls = [];
  var problems = [];
  var s = {
    bComplete: 1, bSuccess: 0, AuthError: 0, pollsLeft: 0, outcome: null,
    tessel: 0, url: "", surveyCount: 0, auth: {}, live: false, silent: false, refuse: false, endless: ""
  };

  function answers() { return !s.silent; }
  function takes(i) { return loggedIn(i) && !s.silent && !s.refuse; }

  function callPage(name, args) {
    var f = window[name];
    if (typeof f !== "function") {
      problems.push("page has no function " + name);
      return;
    }
    f.apply(null, args.map(String));
  }

  function cam(i) {
    for (var k = 0; k < cameras.length; k++) if (cameras[k].index === (i | 0)) return cameras[k];
    return null;
  }

  function loggedIn(i) {
    var c = cam(i);
    var a = s.auth[i | 0];
    return c !== null && a !== undefined && a.user === c.user && a.password === c.password;
  }

  // A starter: the worker completes after `polls` polls of CheckThreadComplete.
  // In "stuck" the first read of the supported commands takes 120 polls,
  // more than the page waits for; the starter the driver names in
  // state.endless never completes.
  function start(name, clearSuccess, polls, outcome) {
    if (!s.bComplete) problems.push(name + " started while a request was still running");
    s.bComplete = 0;
    if (clearSuccess !== null) s.bSuccess = clearSuccess;
    s.pollsLeft = scenario === "stuck" && name === "GetOptionCmd_" && !s.stuckOnce ? 120 : polls;
    if (s.pollsLeft === 120) s.stuckOnce = true;
    if (s.endless === name) s.pollsLeft = Infinity;
    s.outcome = outcome;
  }

  function needDone(name) {
    if (!s.bComplete) problems.push(name + " read while a request was still running");
  }

  var api = {
    SearchCamera_: function (model) {
      start("SearchCamera_", null, Infinity, null);
      // The worker ends at once; the one-second timer of the program reports.
      s.bComplete = 1;
      setTimeout(function () {
        cameras.forEach(function (c) {
          if (c.model === String(model)) callPage("AddCameraList", [c.mac, c.index]);
        });
        callPage("CompleteSearch", []);
      }, 1000);
    },
    CheckThreadComplete: function () {
      if (!s.bComplete) {
        s.pollsLeft--;
        if (s.pollsLeft <= 0) {
          if (s.outcome) s.outcome();
          s.bComplete = 1;
        }
      }
      return s.bComplete ? 1 : 0;
    },
    QueryResult: function () { needDone("QueryResult"); return s.bSuccess; },
    QueryAuthError: function () { needDone("QueryAuthError"); return s.AuthError; },
    GetAddress_: function (i) {
      var c = cam(i);
      return c && !c.noAddress && answers() ? (c.reserved & 2 ? "https://" : "http://") + c.ip + ":" + c.port : "";
    },
    GetCameraInfo_: function (i) {
      var c = cam(i);
      if (!c || !answers()) return 0;
      callPage("GatherCameraInfo", [c.dhcp, c.ip, c.mask, c.gateway, c.dns1, c.dns2, c.port, c.name, c.reserved & 1]);
      return 1;
    },
    TryWireless_: function (i) {
      start("TryWireless_", 0, 3, function () { if (cam(i) && answers()) s.bSuccess = 1; });
    },
    VerifyAuth_ID_Password_: function (i, user, password) {
      if (!cam(i)) return -1;
      s.auth[i | 0] = { user: String(user), password: String(password) };
      if (!answers()) return -1;
      return loggedIn(i) ? 0 : -2;
    },
    GetOptionCmd_: function (i) {
      start("GetOptionCmd_", 0, 2, function () { if (cam(i) && answers()) s.bSuccess = 1; });
    },
    CheckGetOptionCmd: function () {
      needDone("CheckGetOptionCmd");
      if (!s.bSuccess) return 0;
      callPage("GatherOptionCmd", [1, 1, 1]);
      return 1;
    },
    SetupDHCP_: function (i) {
      start("SetupDHCP_", 0, 2, function () { if (takes(i)) s.bSuccess = 1; });
    },
    SetupFixed_IP_Mask_Gateway_DNS1_DNS2_: function (i) {
      start("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_", 0, 2, function () { if (takes(i)) s.bSuccess = 1; });
    },
    SetupAuth_ID_Password_OldPassword_: function (i, user, password, old) {
      start("SetupAuth_ID_Password_OldPassword_", 0, 3, function () {
        var c = cam(i);
        if (c && takes(i) && String(old) === c.password) {
          c.password = String(password);
          s.auth[i | 0] = { user: String(user), password: String(password) };
          s.bSuccess = 1;
          s.AuthError = 0;
        } else {
          s.AuthError = 2;
        }
      });
    },
    CommitSettings_: function () { start("CommitSettings_", null, 4, null); },
    GetWirelessCap_: function (i) {
      if (!loggedIn(i) || !answers()) return 0;
      callPage("GatherWirelessCapMode", [1, 1]);
      for (var ch = 1; ch <= 11; ch++) callPage("GatherWirelessCapChannel", [ch]);
      callPage("GatherWirelessCapAuth", [1, 1, 1, 1, 0, 0]);
      callPage("GatherWirelessCapEncryption", [1, 1, 1, 1, 1]);
      return 1;
    },
    GetWirelessInfo_: function (i) {
      if (!loggedIn(i) || !answers()) return 0;
      var w = wireless;
      callPage("GatherWirelessInfo", [w.enable, w.mode, w.ssid, w.channel, w.auth, w.enc,
                                      w.wepLen, w.wepFormat, w.wepDefault, w.wepKey, w.wpaKey]);
      return 1;
    },
    SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_WEPKey_WPAKey_:
      function (i) {
        start("SetupWireless", 0, 2, function () { if (takes(i)) s.bSuccess = 1; });
      },
    InitSiteSurvey_: function (i) { return loggedIn(i) && answers() ? 1 : 0; },
    GetSiteSurveyInfo_: function (i) {
      start("GetSiteSurveyInfo_", null, 3, function () { s.surveyCount = loggedIn(i) ? stations.length : 0; });
    },
    FinishSiteSurvey: function () {
      needDone("FinishSiteSurvey");
      for (var k = 0; k < s.surveyCount; k++) callPage("GatherSiteSurvey", stations[k]);
      callPage("CompleteSiteSurvey", []);
    },
    FinishRescanSiteSurvey: function () {
      needDone("FinishRescanSiteSurvey");
      for (var k = 0; k < s.surveyCount; k++) callPage("GatherSiteSurvey", stations[k]);
      return 1;
    },
    IsAlreadyEnableTessel_: function () { return answers() ? s.tessel : 0; },
    EnableTessel_: function (i) {
      start("EnableTessel_", 1, 2, function () {
        if (takes(i)) s.tessel = 1;
        else s.bSuccess = 0;
      });
    },
    IsTesselWorkable_: function () { start("IsTesselWorkable_", 1, 12, null); },
    GetTavvelURL_: function () {
      start("GetTavvelURL_", 0, 2, function () {
        s.url = "https://remote.example.invalid/<b>cam</b>";
        s.bSuccess = 1;
      });
    },
    GetURL: function () { needDone("GetURL"); return s.url; },
    OpenBrowser_: function () {},
    ClipboardData_: function () {},
    OpenPDF_: function () {},
    SetWindowSizeWidth_Height_: function () {},
    CreateShortcut_URL_: function () {},
    CreateNonCloudShortcut_Address_MAC_: function () {},
    // The live picture: the program draws it over the page; a second start
    // without a stop is legal but would show the older camera's picture.
    LiveView_IP_Port_ID_Password_AuthType_: function () {
      if (s.live) problems.push("LiveView started while the live picture ran");
      s.live = true;
    },
    StopLiveView: function () { s.live = false; },
    DrawLiveView: function () {},
    CloseWizard: function () { window.__wizardClosed = true; }
  };

  var target = {};
  Object.keys(api).forEach(function (name) {
    target[name] = function () {
      var args = Array.prototype.slice.call(arguments);
      calls.push({ name: name, args: args });
      return api[name].apply(null, args);
    };
  });

  // 1 once the program drew a picture of the camera; silent cameras send none.
  Object.defineProperty(target, "bLivePicture", {
    get: function () { return s.live && !s.silent ? 1 : 0; }
  });

  window.FinderObj = new Proxy(target, {
    get: function (t, name) {
      if (typeof name !== "string" || name in t) return t[name];
      problems.push("unknown bridge member " + name);
      return undefined;
    }
  });
  window.__bridge = { calls: calls, problems: problems, state: s, scenario: scenario,
                      HOSTILE_NAME: HOSTILE_NAME, HOSTILE_SSID: HOSTILE_SSID };
})();
