// Walks the wizard page like a user, against stub-bridge.js, and writes the
// verdict into <pre id="page-test-report"> ("PASS" or "FAIL: ...") for the
// runner to read from the dumped DOM. Headless Chromium runs it in virtual
// time, so the page's polling costs no real time.
"use strict";

(function () {
  var B = window.__bridge;
  var log = [];

  function $(id) { return document.getElementById(id); }

  function Fail(msg) { this.message = msg; }

  function check(cond, msg) {
    if (!cond) throw new Fail(msg);
    log.push("ok: " + msg);
  }

  // A hint the quick-start guide must give word for word; the runner checks.
  function hint(text) { log.push("hint: " + text); }

  function sleep(ms) { return new Promise(function (r) { setTimeout(r, ms); }); }

  async function until(what, cond, ms) {
    var end = performance.now() + (ms || 60000);
    while (performance.now() < end) {
      if (cond()) return;
      await sleep(50);
    }
    throw new Fail("timed out waiting for " + what);
  }

  function idle() { return $("busy").hidden; }
  function visible(step) { return !$("step-" + step).hidden; }
  function message() { return $("message").hidden ? "" : $("message").textContent; }
  function messageKind() { return $("message").className; }

  function click(node) {
    if (!node) throw new Fail("nothing to click");
    node.click();
  }

  function type(id, text) {
    var e = $(id);
    e.value = text;
    e.dispatchEvent(new Event("input", { bubbles: true }));
  }

  function submit(formId) { $(formId).requestSubmit(); }

  function namesCalled() {
    return B.calls.map(function (c) { return c.name; })
      .filter(function (n) { return n !== "CheckThreadComplete"; });
  }

  function lastCall(name) {
    for (var k = B.calls.length - 1; k >= 0; k--) if (B.calls[k].name === name) return B.calls[k];
    return null;
  }

  function count(name) {
    return B.calls.filter(function (c) { return c.name === name; }).length;
  }

  // Wholly inside the window and the visible part of the step area.
  function inView(node) {
    var r = node.getBoundingClientRect();
    var c = $("content").getBoundingClientRect();
    return r.height > 0 && r.top >= c.top && r.bottom <= Math.min(c.bottom, window.innerHeight) &&
           r.left >= 0 && r.right <= window.innerWidth;
  }

  function navItem(step) { return document.querySelector('#steps li[data-step="' + step + '"]'); }
  function doneSteps() {
    return Array.prototype.map.call(document.querySelectorAll("#steps li.done"),
                                    function (li) { return li.getAttribute("data-step"); }).join(",");
  }

  // Clicks the message's offered action by its label.
  function choose(label) {
    var b = Array.prototype.filter.call($("message").querySelectorAll("button"),
                                        function (x) { return x.textContent === label; });
    if (b.length !== 1) throw new Fail("no choice '" + label + "' in: " + message());
    click(b[0]);
  }

  function pick(id, value) {
    $(id).value = value;
    $(id).dispatchEvent(new Event("change", { bubbles: true }));
  }

  var SETUP_WIRELESS =
    "SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_WEPKey_WPAKey_";

  // Nothing that came from a camera may have turned into markup or code.
  function checkNoInjection() {
    check(window.__pwned === undefined, "no hostile text ran as script");
    check(document.querySelectorAll("#content img, #content b:not([id]), #content script").length === 0,
          "no hostile text became elements");
  }

  // The rectangle the program draws the live picture into: no visible
  // control or text of the page may lie in it.
  function checkLiveRectFree() {
    var area = $("live-view-area").getBoundingClientRect();
    check(area.left === 535 && area.top === 25 && area.width === 160 && area.height === 120,
          "the live rectangle is held at 535,25 160x120");
    var nodes = document.querySelectorAll("#top *, #step-live *, #steps li, #message");
    for (var i = 0; i < nodes.length; i++) {
      var n = nodes[i];
      if (n.id === "live-view-area" || n.offsetParent === null || n.children.length > 0 && n.tagName !== "BUTTON") continue;
      var r = n.getBoundingClientRect();
      var overlaps = r.width > 0 && r.height > 0 && r.left < 695 && r.right > 535 && r.top < 145 && r.bottom > 25;
      check(!overlaps, "nothing of the page in the live rectangle: " + n.tagName + "#" + n.id + " " +
            Math.round(r.left) + "," + Math.round(r.top) + " " + Math.round(r.width) + "x" + Math.round(r.height));
    }
  }

  async function searchDone() {
    await until("the search to finish", function () { return idle() && B.calls.length > 0 && !window.W.searching; });
    await until("the camera details", idle);
  }

  async function walk() {
    await searchDone();
    check(lastCall("SearchCamera_").args[0] === "RC-100", "search asks for the default model");
    var items = document.querySelectorAll("#camera-list button");
    check(items.length === 2, "two cameras listed");
    var names = Array.prototype.map.call(document.querySelectorAll("#camera-list .cam-name"),
                                         function (n) { return n.textContent; });
    check(names[0] === "Porch" && names[1] === B.HOSTILE_NAME, "camera names shown as exact text");
    check($("camera-count").textContent.indexOf("2 cameras") === 0, "count of cameras shown");
    check(document.activeElement === items[0], "after the search the keyboard is on the first camera");
    check($("camera-twins").hidden, "cameras of different names need no hint");
    checkNoInjection();

    click(items[1]);
    check(visible("login"), "choosing a camera opens the login");
    check($("login-user").value === "admin", "user name defaults to admin");
    type("login-user", "");
    submit("login-form");
    check(message() === "Enter the user name." && messageKind() === "error", "an empty user name is refused");
    type("login-user", "admin");
    type("login-password", "wrong");
    submit("login-form");
    check(!idle() && message() === "", "starting a request clears the old error");
    await until("the login answer", function () { return idle() && message() !== ""; });
    check(/^Login failed: the camera did not accept/.test(message()) && messageKind() === "error",
          "a refused login says so");
    check(visible("login"), "a refused login stays on the login");
    check(lastCall("VerifyAuth_ID_Password_").args.join("|") === "2|admin|wrong", "login sends index, user, password");

    click($("login-show"));
    check($("login-password").type === "text", "the login password can be shown");
    type("login-password", "secret");
    submit("login-form");
    await until("the camera information", function () { return idle() && visible("info"); });
    check($("info-name").textContent === B.HOSTILE_NAME, "information shows the name as text");
    check($("info-web").textContent === "https://192.0.2.4:8443", "web address from GetAddress_");
    check($("info-dhcp").textContent === "Automatic (DHCP)", "DHCP state shown");
    check($("info-dns").textContent === "192.0.2.1, 192.0.2.9" && navItem("info").textContent === "Camera info",
          "the DNS servers shown, the step named for what it shows");
    click(document.querySelector("#step-info .back"));
    check(visible("login"), "the camera details lead back to the login");
    click(navItem("info"));
    check($("camera-line").textContent.indexOf(B.HOSTILE_NAME) === 0, "header names the camera");
    checkNoInjection();

    click(document.querySelector("#step-info .next"));
    check(visible("address") && $("addr-dhcp").checked, "address step opens with DHCP chosen");
    click($("addr-fixed"));
    $("addr-fixed").dispatchEvent(new Event("change"));
    check(!$("addr-ip").disabled, "fixed address fields open up");
    var before = count("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_");
    type("addr-ip", "192.0.2.300");
    submit("address-form");
    check(count("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_") === before && messageKind() === "error",
          "a bad address is refused on the page");
    type("addr-ip", "192.0.2.50");
    type("addr-gateway", "198.51.100.1");
    submit("address-form");
    check(count("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_") === before && /gateway/.test(message()),
          "a gateway outside the subnet is refused");
    type("addr-gateway", "192.0.2.1");
    type("addr-dns2", "");
    submit("address-form");
    check(!idle(), "busy indicator shows while the request runs");
    var busy = $("busy").getBoundingClientRect(), apply = $("address-btn").getBoundingClientRect();
    check(inView($("busy")) && (busy.bottom <= apply.top || busy.top >= apply.bottom),
          "the busy indicator is in view and covers no button");
    await until("the address answer", function () { return idle() && messageKind() === "ok"; });
    check(lastCall("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_").args.join("|") ===
          "2|192.0.2.50|255.255.255.0|192.0.2.1|192.0.2.1|0.0.0.0", "fixed address sent with all five texts");
    check(document.activeElement === $("addr-fixed"), "after the request the keyboard is on the step's first field");
    check(inView(document.querySelector("#step-address h2")), "the step's heading stays in view after the request");
    check(doneSteps() === "search,login,info,address", "the applied address step is done, later ones are not");

    click(document.querySelector("#step-address .next"));
    click(document.querySelector("#step-password .back"));
    check($("addr-fixed").checked && $("addr-ip").value === "192.0.2.50",
          "coming back shows the applied fixed address, not the camera's old DHCP");
    click(document.querySelector("#step-address .next"));
    check($("password-user").textContent === "admin", "password step names the user");
    type("pw-new", "n3w-pass");
    type("pw-repeat", "n3w-pas");
    submit("password-form");
    check(/not the same/.test(message()) && $("pw-repeat").getAttribute("aria-invalid") === "true" &&
          !$("pw-new").classList.contains("invalid"), "mismatched passwords are refused, the repeat marked");
    check($("pw-hint").textContent === "", "no short-password warning for eight characters");
    click($("pw-show"));
    check($("pw-new").type === "text" && $("pw-repeat").type === "text", "the new password can be shown");
    type("pw-repeat", "n3w-pass");
    submit("password-form");
    await until("the password answer", function () { return idle() && messageKind() === "ok"; });
    check(lastCall("SetupAuth_ID_Password_OldPassword_").args.join("|") === "2|admin|n3w-pass|secret",
          "password change sends user, new and old password");

    click(document.querySelector("#step-password .next"));
    await until("the wireless settings", function () { return idle() && $("wl-ssid").value !== ""; });
    check($("wl-ssid").value === "OldNet" && $("wl-channel").value === "6", "wireless settings filled in");
    check($("wl-channel").options.length === 11, "channels come from the capability");
    check($("wl-auth").options.length === 4 && $("wl-enc").options.length === 5,
          "authentication and encryption choices come from the capability");
    check(!$("wpa-fields").hidden && $("wep-fields").hidden, "AES shows the pass phrase, not WEP keys");
    check(!$("wl-advanced").open, "the technical choices wait under Advanced");

    click($("survey-btn"));
    await until("the site survey", function () { return idle() && !$("survey-box").hidden; });
    var rows = document.querySelectorAll("#survey-rows tr");
    check(rows.length === 4, "four networks listed");
    check(rows[0].querySelector(".ssid").textContent === "HomeNet", "strongest network first");
    check(rows[2].querySelector(".ssid").textContent === B.HOSTILE_SSID, "hostile network name shown as text");
    check(rows[3].querySelector(".ssid").textContent === "(hidden network)", "hidden network marked");
    check(rows[0].cells[1].textContent === "88%" && rows[0].cells[3].textContent === "WPA2" &&
          rows[1].cells[3].textContent === "Open", "signal as a percentage, security in a word");
    check(inView($("survey-count")), "the network list is in view after the scan");
    checkNoInjection();
    click(rows[1].querySelector("button"));
    check(/Cafe is open: it needs no key/.test(message()) && $("wpa-fields").hidden && $("wl-wpakey").value === "",
          "an open network needs no key, and the old network's key is gone");
    click(rows[3].querySelector("button"));
    check($("wl-ssid").value === "" && document.activeElement === $("wl-ssid") && /hides its name/.test(message()),
          "a hidden network asks for its name");
    click(rows[0].querySelector("button"));
    check($("wl-ssid").value === "HomeNet" && $("wl-enable").checked, "choosing a network fills the form");
    $("wl-advanced").open = true;
    type("wl-wpakey", "short");
    submit("wireless-form");
    check(/pass phrase/.test(message()) && messageKind() === "error", "a short pass phrase is refused");
    check(inView($("message")) && inView($("wireless-btn")),
          "the message of the step's bottom button is in view with Advanced open");
    type("wl-wpakey", "correct horse battery");
    check($("wl-enc").querySelector('option[value="0"]').disabled, "no encryption cannot be picked for WPA2-PSK");
    var sent = count(SETUP_WIRELESS);
    $("wl-enc").value = "0";
    submit("wireless-form");
    check(count(SETUP_WIRELESS) === sent && /WPA2-PSK does not work with the encryption None/.test(message()) &&
          $("wl-enc").classList.contains("invalid"), "WPA2-PSK with no encryption is refused");
    pick("wl-auth", "1");
    check($("wl-enc").value === "1", "shared key moves the encryption to WEP");
    pick("wl-auth", "3");
    check($("wl-enc").value === "2", "WPA2-PSK moves it on to one that fits");
    pick("wl-enc", "3");
    submit("wireless-form");
    await until("the wireless answer", function () { return idle() && messageKind() === "ok"; });
    check(inView(document.querySelector("#step-wireless h2")), "the wireless heading stays in view after the request");
    var w = lastCall(SETUP_WIRELESS);
    check(w.args.join("|") === "2|1|HomeNet|0|6|3|3|0|0|0||correct horse battery",
          "wireless settings sent in the bridge's order");

    click($("survey-btn"));
    await until("the second survey", function () { return idle() && count("FinishRescanSiteSurvey") === 1; });
    check(document.querySelectorAll("#survey-rows tr").length === 4, "a rescan lists the networks again");

    click(document.querySelector("#step-wireless .next"));
    check(document.activeElement === $("save-btn"), "the Save step opens with the focus on Save");
    click($("save-btn"));
    await until("the save", function () { return idle() && messageKind() === "ok"; });
    check(/saved/.test(message()) && $("save-pending").textContent === "No applied settings are waiting to be saved.",
          "saving reports success, and nothing waits any more");

    // The finishing services before remote access: the bookmark holds the
    // local address and the MAC, and there is no remote page to offer.
    click(document.querySelector('#steps li[data-step="finish"]'));
    check(visible("finish") && $("open-remote-btn").hidden && $("copy-remote-btn").hidden,
          "no remote page to open or copy before remote access");
    click($("bookmark-btn"));
    check(lastCall("CreateNonCloudShortcut_Address_MAC_").args.join("|") === "RC-100|https://192.0.2.4:8443|02005E000203",
          "a bookmark without remote access holds the address and the MAC");
    check(/desktop folder/.test(message()) && /double-click/.test(message()), "the page says where the bookmark went");
    click(document.querySelector('#steps li[data-step="save"]'));

    click(document.querySelector("#step-save .next"));
    await until("the remote state", function () { return idle() && $("remote-state").textContent === "Off"; });
    var remoteNext = document.querySelector("#step-remote .next");
    check(document.activeElement === $("remote-btn") && remoteNext.classList.contains("quiet") &&
          /\(optional\)/.test(document.querySelector("#step-remote h2").textContent),
          "remote access is optional, with one main button, focused");
    click($("remote-btn"));
    await until("the wait, naming its length", function () {
      return !idle() && /up to 3 minutes/.test($("busy-text").textContent);
    });
    await until("the remote address", function () { return idle() && $("remote-url").textContent !== ""; });
    check($("remote-url").textContent === "https://remote.example.invalid/<b>cam</b>", "remote address shown as text");
    check(navItem("remote").classList.contains("done") && visible("remote") && !remoteNext.classList.contains("quiet") &&
          $("remote-btn").classList.contains("quiet") && document.activeElement === remoteNext,
          "working remote access is ticked at once, and Next becomes the main button");
    checkNoInjection();

    // The live picture runs while its step shows: it stops on Back, on Next
    // and on Close, and the page keeps its controls out of the rectangle.
    click(document.querySelector("#step-remote .next"));
    check(visible("live") && B.state.live, "the live picture starts with its step");
    check(lastCall("LiveView_IP_Port_ID_Password_AuthType_").args.join("|") === "2|192.0.2.4|8443|admin|n3w-pass|2",
          "the live picture gets index, address, web port, credentials and Basic authorization");
    checkLiveRectFree();
    click(document.querySelector("#step-live .back"));
    check(visible("remote") && !B.state.live && !document.body.classList.contains("live-step"),
          "going back stops the live picture");
    click(document.querySelector("#step-remote .next"));
    click($("close-btn"));
    check(!B.state.live && window.__wizardClosed === true, "closing stops the live picture first");
    window.__wizardClosed = false;
    click(document.querySelector("#step-live .next"));
    check($("finish-summary").textContent === "The camera is set up and its settings are saved." &&
          $("finish-address").textContent === "Fixed address 192.0.2.50 (saved)" &&
          $("finish-wireless").textContent === "Network HomeNet (saved)" &&
          $("finish-password").textContent === "Changed", "the finish lists what was saved");
    check(doneSteps() === "search,login,info,address,password,wireless,save,remote", "every applied step is done");
    var remoteUrl = "https://remote.example.invalid/<b>cam</b>";
    check($("finish-remote").textContent === remoteUrl, "finish shows the remote address");
    click($("open-web-btn"));
    check(lastCall("OpenBrowser_").args[0] === "https://192.0.2.4:8443", "the web page opens in the browser");
    click($("copy-web-btn"));
    check(lastCall("ClipboardData_").args[0] === "https://192.0.2.4:8443" && messageKind() === "ok",
          "the address goes to the clipboard");
    click($("open-remote-btn"));
    check(lastCall("OpenBrowser_").args[0] === remoteUrl, "the remote page opens in the browser");
    click($("copy-remote-btn"));
    check(lastCall("ClipboardData_").args[0] === remoteUrl, "the remote address goes to the clipboard");
    click($("bookmark-btn"));
    check(lastCall("CreateShortcut_URL_").args.join("|") === "RC-100|" + remoteUrl,
          "with remote access the bookmark holds the remote address");
    click($("manual-btn"));
    check(lastCall("OpenPDF_").args[0] === "MacHtml/QuickStart.pdf", "the quick-start guide beside the page opens");
    checkNoInjection();
    click($("finish-close-btn"));
    check(window.__wizardClosed === true, "closing calls CloseWizard");

    var expected = [
      "SearchCamera_", "GetCameraInfo_", "GetCameraInfo_",
      "VerifyAuth_ID_Password_", "VerifyAuth_ID_Password_", "GetOptionCmd_", "CheckGetOptionCmd",
      "GetCameraInfo_", "GetAddress_",
      "SetupFixed_IP_Mask_Gateway_DNS1_DNS2_", "QueryResult",
      "SetupAuth_ID_Password_OldPassword_", "QueryResult",
      "GetWirelessCap_", "GetWirelessInfo_",
      "InitSiteSurvey_", "GetSiteSurveyInfo_", "FinishSiteSurvey",
      "SetupWireless_Enable_SSID_Mode_Channel_Auth_Encryption_WEPLen_WEPFormat_WEPDefault_WEPKey_WPAKey_", "QueryResult",
      "InitSiteSurvey_", "GetSiteSurveyInfo_", "FinishRescanSiteSurvey",
      "CommitSettings_", "TryWireless_", "QueryResult", "GetCameraInfo_", "GetAddress_",
      "CreateNonCloudShortcut_Address_MAC_",
      "IsAlreadyEnableTessel_", "GetAddress_", "EnableTessel_", "QueryResult", "IsTesselWorkable_", "QueryResult",
      "GetTavvelURL_", "QueryResult", "GetURL",
      "LiveView_IP_Port_ID_Password_AuthType_", "StopLiveView", "LiveView_IP_Port_ID_Password_AuthType_",
      "StopLiveView", "CloseWizard",
      "OpenBrowser_", "ClipboardData_", "OpenBrowser_", "ClipboardData_", "CreateShortcut_URL_", "OpenPDF_",
      "CloseWizard"
    ];
    check(namesCalled().join(",") === expected.join(","), "bridge calls in the expected order: " + namesCalled().join(","));
  }

  async function noCameras() {
    await searchDone();
    check(/^No camera of model RC-100 was found/.test(message()) && messageKind() === "error",
          "an empty search says nothing was found");
    check($("camera-list-box").hidden, "no camera list");
    check(document.querySelectorAll("#steps li.open").length === 1, "only the search step is open");
    check(count("GetCameraInfo_") === 0, "nothing read after an empty search");
    check(document.activeElement === $("search-btn"), "after nothing found the keyboard is on Search");
  }

  // A login whose reading of the camera runs past its time: the user is
  // not logged in, is told the wizard still waits, and may try again once
  // the bridge reports the old request complete.
  async function stuck() {
    await searchDone();
    click(document.querySelectorAll("#camera-list button")[0]);
    type("login-password", "");
    var t0 = performance.now();
    submit("login-form");
    await until("the request to time out", function () { return idle() && message() !== ""; }, 120000);
    var waited = performance.now() - t0;
    check(waited >= 20000 && waited < 30000, "polling gives up after its time (" + Math.round(waited) + " ms)");
    check(/did not answer in time\. The wizard is still waiting for it/.test(message()),
          "a request past its time is reported as still waited for");
    var polls = count("CheckThreadComplete");
    check(polls > 10 && polls <= 82, "polls are bounded (" + polls + ")");
    check(!navItem("login").classList.contains("done") && !navItem("info").classList.contains("open"),
          "a login that timed out is not ticked and opens no later step");
    click(navItem("address"));
    check(visible("login") && /^Log in first/.test(message()), "the grey steps stay shut and say why");
    var verifies = count("VerifyAuth_ID_Password_");
    submit("login-form");
    await sleep(200);
    check(count("VerifyAuth_ID_Password_") === verifies && /still waiting for the camera/.test(message()),
          "no new request while the old one runs");
    await until("the late answer", function () { return /has answered now/.test(message()); }, 120000);
    submit("login-form");
    await until("the camera information", function () { return idle() && visible("info"); });
    check($("info-ip").textContent === "192.0.2.2" && navItem("login").classList.contains("done"),
          "trying again once the camera answered logs in");

    // A request that never ends: after ten minutes the page says that only
    // a new start helps, and says so to every later request.
    B.state.endless = "SetupDHCP_";
    click(document.querySelector("#step-info .next"));
    click($("addr-dhcp"));
    var t1 = performance.now();
    submit("address-form");
    await until("the request to time out", function () { return idle() && /did not answer in time/.test(message()); });
    await until("the notice to start again", function () { return /start it again/.test(message()); }, 900000);
    check(performance.now() - t1 >= 600000 && message() === STALE_GIVE_UP,
          "after ten minutes the page says to close the wizard and start it again");
    submit("address-form");
    await sleep(200);
    check(count("SetupDHCP_") === 1 && message() === STALE_GIVE_UP, "later requests are refused with the same advice");
  }

  // Typed changes are never lost on the way on, and nothing claims a save
  // that did not happen.
  async function unsaved() {
    await searchDone();
    click(document.querySelectorAll("#camera-list button")[0]);
    submit("login-form");
    await until("the camera information", function () { return idle() && visible("info"); });
    check(navItem("finish").tabIndex === 0 && navItem("info").getAttribute("aria-current") === "step",
          "the open steps are in the keyboard's order, the current one marked");
    click(document.querySelector("#step-info .next"));
    check($("addr-fixed").checked && $("addr-ip").value === "192.0.2.2", "the camera's fixed address is filled in");
    var next = document.querySelector("#step-address .next");
    check($("address-btn").classList.contains("quiet") && !next.classList.contains("quiet"),
          "with nothing to apply Next is the main button");
    type("addr-ip", "192.0.2.60");
    check(!$("address-btn").classList.contains("quiet") && next.classList.contains("quiet"),
          "with a change Apply is the main button");
    click(document.querySelector("#step-address .next"));
    check(visible("address") && /not applied/.test(message()) && inView($("message")) &&
          count("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_") === 0, "Next on a changed form asks before going on");
    choose("Stay here");
    check(visible("address") && $("addr-ip").value === "192.0.2.60" && message() === "", "staying keeps what was typed");

    navItem("finish").dispatchEvent(new KeyboardEvent("keydown", { key: "Enter", bubbles: true }));
    check(visible("address") && /not applied/.test(message()), "the sidebar asks too, also by keyboard");
    choose("Discard them");
    check(visible("finish") && $("finish-address").textContent === "Not changed" &&
          /^No settings were changed/.test($("finish-summary").textContent), "after a discard the finish says nothing changed");
    click(navItem("address"));
    check($("addr-ip").value === "192.0.2.2", "discarding brings back the camera's values");

    type("addr-ip", "192.0.2.60");
    click(document.querySelector("#step-address .next"));
    choose("Apply and go on");
    await until("the address to be applied", function () { return idle() && visible("password"); });
    check(lastCall("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_").args.join("|") ===
          "0|192.0.2.60|255.255.255.0|192.0.2.1|192.0.2.1|0.0.0.0", "applying on the way sends what was typed");
    check(doneSteps() === "search,login,info,address", "only the applied step turns done");
    type("pw-new", "abc");
    check(/short and easy to guess\. Use 8 or more/.test($("pw-hint").textContent),
          "a short new password is warned about, naming the rule");
    click(document.querySelector("#step-password .back"));
    choose("Discard them");
    check($("addr-fixed").checked && $("addr-ip").value === "192.0.2.60", "coming back keeps the applied address");
    check(changedBackToEmpty(), "the discarded password is gone");

    click(navItem("finish"));
    check(/^Not everything is saved: the IP address settings/.test($("finish-summary").textContent) &&
          $("finish-summary").textContent.indexOf("The camera is set up") < 0 &&
          $("finish-address").textContent === "Fixed address 192.0.2.60 (not saved)",
          "the finish after no save says what was not saved");
    click($("finish-close-btn"));
    check(window.__wizardClosed === undefined && /not saved/.test(message()) && inView($("message")),
          "Close asks while applied settings are not saved");
    choose("Go to Save");
    check(visible("save") && !$("save-btn").classList.contains("quiet") &&
          $("save-pending").textContent === "Waiting to be saved: the IP address settings.",
          "Save is the step's main button and says what waits for it");
    click($("save-btn"));
    await until("the save", function () { return idle() && messageKind() === "ok"; });
    check(navItem("save").classList.contains("done"), "the save step is done once saved");
    click(navItem("finish"));
    check(/^The camera is set up and its settings are saved/.test($("finish-summary").textContent) &&
          $("finish-address").textContent === "Fixed address 192.0.2.60 (saved)", "after the save the finish says so");
    click($("close-btn"));
    check(window.__wizardClosed === true, "with everything saved Close closes");
    window.__wizardClosed = undefined;

    // Logging in again after a password change, with applied settings that
    // wait for a save: the login holds the new password, a refused re-check
    // keeps the session, and Go to Save still saves.
    click(navItem("address"));
    type("addr-ip", "192.0.2.61");
    submit("address-form");
    await until("the address to be applied", function () { return idle() && messageKind() === "ok"; });
    click(navItem("password"));
    type("pw-new", "porch-pass-1");
    type("pw-repeat", "porch-pass-1");
    submit("password-form");
    await until("the password change", function () { return idle() && messageKind() === "ok"; });
    click(navItem("login"));
    check($("login-password").value === "porch-pass-1", "after a password change the login holds the new password");
    click($("login-btn"));
    await until("the login again", function () { return idle() && visible("info"); });
    check(lastCall("VerifyAuth_ID_Password_").args.join("|") === "0|admin|porch-pass-1", "Log in checks the new password");
    click(navItem("search"));
    click(document.querySelector("#camera-list button.chosen"));
    submit("login-form");
    await until("the login by Enter", function () { return idle() && visible("info"); });
    click(navItem("login"));
    type("login-password", "old-one");
    submit("login-form");
    await until("the refusal", function () { return idle() && message() !== ""; });
    check(/^Login failed: the camera did not accept/.test(message()) && /still logged in/.test(message()) &&
          navItem("save").classList.contains("open") && navItem("login").classList.contains("done"),
          "a refused re-check keeps the session");
    check(lastCall("VerifyAuth_ID_Password_").args.join("|") === "0|admin|porch-pass-1",
          "the finder gets back the credentials in use");
    click($("close-btn"));
    var commits = count("CommitSettings_");
    choose("Go to Save");
    check(visible("save"), "Go to Save leads to Save");
    click($("save-btn"));
    await until("the save", function () { return idle() && message() !== ""; });
    check(count("CommitSettings_") === commits + 1 && /^The settings are saved/.test(message()) &&
          !/not saved/.test($("save-pending").textContent), "the save runs");
  }

  function escape() {
    (document.activeElement || document.body).dispatchEvent(
      new KeyboardEvent("keydown", { key: "Escape", bubbles: true, cancelable: true }));
  }

  // Wholly in the visible step area, above its last button row.
  function aboveButtons(node) {
    var rows = document.querySelectorAll("#step-" + window.W.step + " .buttons");
    return inView(node) && node.getBoundingClientRect().bottom <= rows[rows.length - 1].getBoundingClientRect().top;
  }

  function marked(id) { return $(id).classList.contains("invalid") && $(id).getAttribute("aria-invalid") === "true"; }

  // Close, a new search and another camera never drop typed or applied work
  // without asking; a camera whose address cannot be read (Porch, whose
  // Reserved byte has bit 0 set and HTTPS clear) gets no address link.
  async function closing() {
    await searchDone();
    check(AskBeforeClosing() === false && message() === "", "the window's close button with nothing to lose closes at once");
    click(document.querySelectorAll("#camera-list button")[0]);
    submit("login-form");
    await until("the login's reading", function () { return window.W.request !== null; });
    check(AskBeforeClosing() === false, "so it does while the wizard only reads from the camera");
    await until("the camera information", function () { return idle() && visible("info"); });
    check(/^Not known/.test($("info-web").textContent) && !/http/.test($("info-web").textContent),
          "no address is made up when the camera's address cannot be read");

    click(document.querySelector("#step-info .next"));
    type("addr-ip", "192.0.2.61");
    check(AskBeforeClosing() === true && /typed on the IP address page are not applied/.test(message()),
          "the window's close button asks about changes typed but not applied");
    escape();
    click($("close-btn"));
    check(window.__wizardClosed === undefined && /typed on the IP address page are not applied/.test(message()),
          "Close asks about changes typed but not applied");
    escape();
    check(message() === "" && visible("address") && $("addr-ip").value === "192.0.2.61",
          "Escape dismisses the question and keeps what was typed");
    click($("close-btn"));
    choose("Discard and close");
    check(window.__wizardClosed === true && $("addr-ip").value === "192.0.2.2", "discarding restores the form, then closes");
    window.__wizardClosed = undefined;
    type("addr-ip", "192.0.2.61");
    click($("close-btn"));
    choose("Apply and close");
    await until("the address to be applied", function () { return idle() && message() !== ""; });
    check(lastCall("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_").args[1] === "192.0.2.61" && window.__wizardClosed === undefined &&
          /^The IP address settings were sent to the camera but not saved/.test(message()),
          "applying on the way out leads to the question about saving");
    choose("Cancel");

    click(navItem("search"));
    var chosen = document.querySelector("#camera-list button.chosen");
    check(chosen !== null && chosen.getAttribute("data-index") === "0" && /Chosen/.test(chosen.textContent) &&
          document.activeElement === chosen, "back on the search the chosen camera is marked and focused");
    click(chosen);
    check(visible("login") && message() === "" && navItem("address").classList.contains("done") &&
          navItem("wireless").classList.contains("open"), "choosing the same camera again keeps what was done");
    click(navItem("search"));
    var searches = count("SearchCamera_");
    click($("search-btn"));
    check(count("SearchCamera_") === searches && /A new search forgets them/.test(message()),
          "a new search asks before dropping applied settings");
    escape();
    click(document.querySelectorAll("#camera-list button")[1]);
    check(visible("search") && /Choosing another camera forgets them/.test(message()), "so does another camera");
    choose("Cancel");

    click(navItem("wireless"));
    await until("the wireless settings", function () { return idle() && $("wl-ssid").value !== ""; });
    click($("wl-enable"));
    type("wl-wpakey", "typed-never-applied");
    click($("close-btn"));
    check(/typed on the Wireless page/.test(message()), "Close asks about a typed key before the unsaved settings");
    choose("Apply and close");
    await until("the wireless settings to be applied", function () { return idle() && /not saved/.test(message()); });
    check(/^The IP address and wireless settings/.test(message()), "then it names both unsaved settings");
    choose("Go to Save");
    check(visible("save") && document.activeElement === $("save-btn") &&
          $("save-pending").textContent === "Waiting to be saved: the IP address and wireless settings.",
          "Go to Save leads to Save, focused");
    click($("save-btn"));
    check(!idle() && AskBeforeClosing() === true &&
          /^The settings are being saved in the camera; this can take up to 3 minutes/.test(message()),
          "during a save the window's close button says that it runs and how long it can take");
    choose("Keep waiting");
    check(!idle() && message() === "" && window.__wizardClosed === undefined, "keeping on waiting keeps the save");
    click($("close-btn"));
    check(/being saved/.test(message()) && document.activeElement.textContent === "Keep waiting",
          "the page's Close asks the same during the save");
    await until("the wait for the camera after the commit", function () { return count("TryWireless_") === 1; });
    check(!idle() && /waits up to 90 seconds for it to answer again/.test(message()),
          "the question goes on into the wait after the commit");
    escape();
    check(!idle() && message() === "", "Escape keeps waiting too");
    click($("close-btn"));
    await until("the save", function () { return idle() && messageKind() === "ok"; });
    check(window.__wizardClosed === undefined && /saved/.test(message()), "the outcome takes the question's place");
    click(navItem("finish"));
    check($("finish-summary").textContent === "The camera is set up and its settings are saved." &&
          $("finish-wireless").textContent === "Network OldNet (saved)" &&
          lastCall(SETUP_WIRELESS).args[11] === "typed-never-applied", "the typed key was applied and saved");
    check(/^Not known/.test($("finish-web").textContent) && $("open-web-btn").hidden && $("copy-web-btn").hidden &&
          $("bookmark-btn").hidden, "without an address the finish offers no address link or bookmark");

    click(navItem("search"));
    click($("search-btn"));
    await searchDone();
    check(count("SearchCamera_") === searches + 1 && document.querySelector("#camera-list button.chosen") === null,
          "with everything saved a new search asks nothing");

    // Close anyway while a change is sent closes at once.
    click(document.querySelectorAll("#camera-list button")[0]);
    submit("login-form");
    await until("the camera information", function () { return idle() && visible("info"); });
    click(navItem("password"));
    type("pw-new", "another-1");
    type("pw-repeat", "another-1");
    submit("password-form");
    click($("close-btn"));
    check(!idle() && /password is being changed/.test(message()), "a password change is asked about");
    choose("Close anyway");
    check(window.__wizardClosed === true, "Close anyway closes while it runs");
  }

  // Errors name and mark the field, and go once the user changes it.
  async function fields() {
    await searchDone();
    click(document.querySelectorAll("#camera-list button")[1]);
    function selected() {
      var f = $("login-password");
      return document.activeElement === f && f.selectionStart === 0 && f.selectionEnd === f.value.length;
    }
    type("login-password", "wrong-1");
    submit("login-form");
    await until("the first refusal", function () { return idle() && message() !== ""; });
    check(message() === "Login failed: the camera did not accept this user name and password." && selected(),
          "a refused password is selected, so that typing replaces it");
    type("login-password", "wrong-2");
    submit("login-form");
    await until("the second refusal", function () { return idle() && /again/.test(message()); });
    check(message() === "Login failed again: the camera did not accept this user name and password.\n" + LOGIN_HINT &&
          selected(), "the second refusal says where the password is written and how to reset the camera");
    hint(LOGIN_HINT);
    type("login-password", "secret");
    submit("login-form");
    await until("the camera information", function () { return idle() && visible("info"); });
    click(document.querySelector("#step-info .next"));
    click($("addr-fixed"));
    type("addr-ip", "192.0.2.300");
    submit("address-form");
    check(marked("addr-ip") && document.activeElement === $("addr-ip") && /for example 192\.168\.1\.20/.test(message()),
          "a bad address is marked and explained");
    type("addr-ip", "192.0.2.30");
    check(message() === "" && !marked("addr-ip"), "typing in the field takes its error back");
    click(document.querySelector("#step-address .next"));
    choose("Discard them");

    type("pw-new", "abcdef7");
    check($("pw-hint").textContent === "This password is short and easy to guess. Use 8 or more characters.",
          "seven characters get the hint, which names the same number");
    type("pw-new", "abcdef78");
    check($("pw-hint").textContent === "", "eight do not");
    type("pw-repeat", "abcdef7");
    submit("password-form");
    check(marked("pw-repeat") && /not the same/.test(message()), "a mismatch is marked");
    type("pw-repeat", "abcdef78");
    check(message() === "" && !marked("pw-repeat"), "fixing the repeat takes the error back");
    click(document.querySelector("#step-password .next"));
    choose("Discard them");

    await until("the wireless settings", function () { return idle() && $("wl-ssid").value !== ""; });
    check(!$("wl-enable").checked && $("wl-ssid").disabled && $("wl-wpakey").disabled && $("wl-auth").disabled &&
          !$("survey-btn").disabled, "with wireless off its fields rest, the scan does not");
    click($("wl-enable"));
    check(!$("wl-ssid").disabled && !$("wl-wpakey").disabled, "turning wireless on opens them");
    type("wl-ssid", "");
    submit("wireless-form");
    check(marked("wl-ssid") && /name of the wireless network/.test(message()), "a missing network name is marked");
    type("wl-ssid", "OldNet");
    check(message() === "" && !marked("wl-ssid"), "typing the name takes the error back");
    type("wl-wpakey", "short");
    submit("wireless-form");
    check(marked("wl-wpakey") && /for example/.test(message()), "a short pass phrase is marked and explained");
    $("wl-advanced").open = true;
    pick("wl-auth", "1");
    check($("wl-enc").value === "1" && message() === "" && !marked("wl-wpakey"),
          "switching to WEP takes the pass-phrase error back");
    // Typed into the field, then Enter: the field has the focus already.
    $("wl-wepkey").focus();
    type("wl-wepkey", "xyz");
    submit("wireless-form");
    check(marked("wl-wepkey") && /10 hexadecimal digits .*for example 0A1B2C3D4E/.test(message()),
          "a bad WEP key is marked, its rule given with an example");
    type("wl-wepkey", "0A1B2C3D4E");
    check(message() === "" && !marked("wl-wepkey"), "typing the key takes the error back");

    click($("survey-btn"));
    await until("the site survey", function () { return idle() && !$("survey-box").hidden; });
    var box = document.querySelector(".table-scroll").getBoundingClientRect();
    var rows = document.querySelectorAll("#survey-rows tr");
    check(rows.length === 4 && Array.prototype.every.call(rows, function (r) {
      var b = r.getBoundingClientRect();
      return b.top >= box.top && b.bottom <= box.bottom + 0.5;
    }), "all four networks fit the list's box");

    // A WEP key typed into a field just above the buttons, and refused: the
    // field stays wholly above the message that says why, which grows the
    // button row.
    click(rows[1].querySelector("button"));
    pick("wl-auth", "1");
    window.clearMessage();
    var row = document.querySelectorAll("#step-wireless .buttons");
    $("content").scrollTop += $("wl-wepkey").getBoundingClientRect().bottom - row[row.length - 1].getBoundingClientRect().top + 2;
    $("wl-wepkey").focus({ preventScroll: true });
    check(aboveButtons($("wl-wepkey")), "the WEP key field is just above the buttons");
    type("wl-wepkey", "xyz");
    submit("wireless-form");
    check(marked("wl-wepkey") && document.activeElement === $("wl-wepkey") && aboveButtons($("wl-wepkey")),
          "the refused WEP key's field lies wholly above the message");
  }

  function retryOffered() {
    var b = $("message").querySelectorAll("button");
    return b.length === 1 && b[0].textContent === "Try again" && document.activeElement === b[0];
  }

  var NO_ANSWER = / The camera did not answer; check that it is on and connected, then try again\./;

  // A camera that stops answering after the login: every read and send
  // says so, apart from a refusal, and offers to try again, which works once
  // the camera answers again.
  async function silent() {
    await searchDone();
    check(!$("camera-twins").hidden && $("camera-twins").textContent === CAMERA_TWINS_HINT,
          "two cameras of one name: the page says to compare the MAC address with the label");
    hint(CAMERA_TWINS_HINT);
    click(document.querySelectorAll("#camera-list button")[0]);
    submit("login-form");
    await until("the camera information", function () { return idle() && visible("info"); });
    check($("info-gateway").textContent === "None" && $("info-dns").textContent === "None",
          "a gateway and DNS servers of 0.0.0.0 show as none");

    B.state.silent = true;
    click(navItem("wireless"));
    await until("the wireless read to fail", function () { return idle() && message() !== ""; });
    check(/^The wireless settings could not be read from the camera\./.test(message()) && NO_ANSWER.test(message()) &&
          retryOffered() && $("wireless-btn").disabled && $("survey-btn").disabled,
          "a silent camera's wireless settings: the page says so and offers to try again");
    B.state.silent = false;
    choose("Try again");
    await until("the wireless settings", function () { return idle() && $("wl-ssid").value === "OldNet"; });
    check(!$("wireless-btn").disabled && !$("survey-btn").disabled && message() === "",
          "trying again reads them once the camera answers");
    click($("survey-btn"));
    await until("the site survey", function () { return idle() && !$("survey-box").hidden; });
    var names = document.querySelectorAll("#survey-rows td.ssid");
    check(names.length === 2 && Array.prototype.every.call(names, function (n) {
      return n.title === n.textContent && /^Neighbours-Network-Upstairs-5G-[AB]$/.test(n.title) && n.scrollWidth > n.clientWidth;
    }), "long network names are cut, and their tooltips hold them whole");

    click(navItem("address"));
    type("addr-ip", "192.0.2.70");
    B.state.silent = true;
    submit("address-form");
    await until("the address to fail", function () { return idle() && message() !== ""; });
    var sent = B.calls.map(function (c) { return c.name; }).lastIndexOf("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_");
    check(/^The address settings could not be sent\./.test(message()) && NO_ANSWER.test(message()) &&
          !/did not take/.test(message()) && retryOffered() && lastCall("GetAddress_") === B.calls[B.calls.length - 1] &&
          B.calls.length - 1 > sent, "a silent camera is told from one that refuses, by a quick read");
    B.state.silent = false;
    choose("Try again");
    await until("the address again", function () { return idle() && messageKind() === "ok"; });
    check(count("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_") === 2 &&
          lastCall("SetupFixed_IP_Mask_Gateway_DNS1_DNS2_").args[1] === "192.0.2.70", "trying again sends it again");
    B.state.refuse = true;
    type("addr-ip", "192.0.2.71");
    submit("address-form");
    await until("the refusal", function () { return idle() && message() !== ""; });
    check(message() === "The camera did not take the address settings." &&
          $("message").querySelectorAll("button").length === 0, "a camera that answers but refuses says so");
    B.state.refuse = false;

    B.state.silent = true;
    click(navItem("password"));
    choose("Discard them");
    type("pw-new", "porch-pass-2");
    type("pw-repeat", "porch-pass-2");
    submit("password-form");
    await until("the password change to fail", function () { return idle() && message() !== ""; });
    check(/^The password could not be changed\./.test(message()) && NO_ANSWER.test(message()) &&
          $("pw-new").value === "porch-pass-2", "a password change to a silent camera keeps what was typed");
    B.state.silent = false;
    choose("Try again");
    await until("the password change", function () { return idle() && messageKind() === "ok"; });

    B.state.silent = true;
    click(navItem("remote"));
    await until("the remote read to fail", function () { return idle() && message() !== ""; });
    check($("remote-state").textContent === "No answer" && NO_ANSWER.test(message()) && retryOffered() &&
          $("remote-btn").disabled, "remote access of a silent camera reads as no answer, not as off");
    B.state.silent = false;
    choose("Try again");
    await until("the remote state", function () { return idle() && $("remote-state").textContent === "Off"; });
    B.state.silent = true;
    click($("remote-btn"));
    await until("remote access to fail", function () { return idle() && message() !== ""; });
    check(/^Remote access could not be turned on\./.test(message()) && retryOffered(),
          "turning remote access on offers to try again");
    B.state.silent = false;
    choose("Try again");
    await until("remote access", function () { return idle() && /Remote access works/.test(message()); });

    click(navItem("login"));
    B.state.silent = true;
    submit("login-form");
    await until("the login to fail", function () { return idle() && message() !== ""; });
    check(/^Login failed\. The camera did not answer; check that it is on and connected/.test(message()) &&
          /still logged in/.test(message()) && retryOffered() && navItem("save").classList.contains("open"),
          "a login to a silent camera offers to try again and keeps the session");
    B.state.silent = false;
    choose("Try again");
    await until("the login", function () { return idle() && visible("info"); });

    B.state.silent = true;
    click(navItem("save"));
    click($("save-btn"));
    await until("the save's answer", function () { return idle() && message() !== ""; });
    check(/does not answer yet/.test(message()) && retryOffered(), "a camera silent after a save: the wait can be tried again");
    B.state.silent = false;
    choose("Try again");
    await until("the camera's answer", function () { return idle() && messageKind() === "ok"; });
    check(count("CommitSettings_") === 1 && /^The settings are saved/.test(message()),
          "trying again waits again without a second save");

    B.state.silent = true;
    click(navItem("live"));
    var t0 = performance.now();
    await until("the word that no picture comes", function () { return /No picture has come/.test(message()); });
    check(performance.now() - t0 >= 10000 && message() === "No picture has come from the camera in 10 seconds. " + LIVE_HINT,
          "after 10 seconds without a picture the live step says what to check");
    hint(LIVE_HINT);
    B.state.silent = false;
    await until("the first picture", function () { return message() === ""; });
    check(visible("live") && B.state.live, "the word goes once the picture comes");
  }

  function changedBackToEmpty() {
    click(document.querySelector("#step-address .next"));
    var empty = $("pw-new").value === "" && $("pw-hint").textContent === "";
    click(document.querySelector("#step-password .back"));
    return empty;
  }

  // Relative luminance contrast of two colours given as "rgb(...)" texts.
  function contrast(a, b) {
    function lum(c) {
      var v = c.match(/[\d.]+/g).slice(0, 3).map(function (x) {
        x = x / 255;
        return x <= 0.03928 ? x / 12.92 : Math.pow((x + 0.055) / 1.055, 2.4);
      });
      return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2];
    }
    var la = lum(a), lb = lum(b);
    return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
  }

  // The darkest colour of the background picture behind the sidebar.
  var SIDEBAR_DARKEST = "rgb(193, 209, 227)";

  function opaque(color, behind) {
    return /rgba\(.*, 0\)$/.test(color) || color === "transparent" ? behind : color;
  }

  // Every button of the header and of the step's button rows lies inside
  // the window and the visible step area, as do the message and the focused
  // field; sidebar text and numbers are readable.
  function checkLayout(step) {
    check(window.innerWidth === 720 && window.innerHeight === 480, "the window is 720 x 480");
    var buttons = document.querySelectorAll("#top button, #step-" + step + " .buttons button");
    for (var k = 0; k < buttons.length; k++) {
      var b = buttons[k];
      if (b.offsetParent === null) continue;
      var r = b.getBoundingClientRect();
      var inWindow = r.left >= 0 && r.top >= 0 && r.right <= 720 && r.bottom <= 480;
      check(inWindow && (!$("content").contains(b) || inView(b)), step + ": button '" + b.textContent + "' in view");
    }
    if (message() !== "") check(inView($("message")), step + ": the message is in view");
    var focused = document.activeElement;
    if (focused.matches("#content input, #content select")) {
      var rows = $("step-" + step).querySelectorAll(".buttons");
      var limit = rows.length ? rows[rows.length - 1].getBoundingClientRect().top : 480;
      check(inView(focused) && focused.getBoundingClientRect().bottom <= limit,
            step + ": the focused field is above the buttons");
    }
    var items = document.querySelectorAll("#steps li");
    for (k = 0; k < items.length; k++) {
      var li = getComputedStyle(items[k]);
      var num = getComputedStyle(items[k], "::before");
      var bg = opaque(li.backgroundColor, SIDEBAR_DARKEST);
      check(contrast(li.color, bg) >= 4.5 && contrast(num.color, opaque(num.backgroundColor, bg)) >= 4.5,
            step + ": sidebar step " + (k + 1) + " readable");
    }
  }

  // Brings the page to one step, each in its most crowded state, for a
  // layout check and a picture.
  async function shot() {
    var target = new URLSearchParams(location.search).get("step") || "search";
    var stages = [
      ["search", null, null],
      ["login", function () { click(document.querySelectorAll("#camera-list button")[1]); },
       async function () {
         type("login-password", "wrong");
         submit("login-form");
         await until("the refusal", function () { return idle() && message() !== ""; });
       }],
      ["info", async function () {
         type("login-password", "secret");
         submit("login-form");
         await until("the information", function () { return idle() && visible("info"); });
       }, null],
      ["address", function () { click(document.querySelector("#step-info .next")); },
       function () {
         click($("addr-fixed"));
         type("addr-dns2", "192.0.2.300");
         submit("address-form");
       }],
      ["password", function () { click(document.querySelector("#step-address .next")); },
       function () {
         type("pw-new", "abc");
         type("pw-repeat", "abd");
         submit("password-form");
       }],
      ["wireless", async function () {
         click(document.querySelector("#step-password .next"));
         await until("the wireless settings", function () { return idle() && $("wl-ssid").value !== ""; });
       }, async function () {
         click($("survey-btn"));
         await until("the survey", function () { return idle() && !$("survey-box").hidden; });
         click(document.querySelector("#survey-rows button"));
         submit("wireless-form");
       }],
      ["save", function () { click(document.querySelector("#step-wireless .next")); }, null],
      ["remote", async function () {
         click(document.querySelector("#step-save .next"));
         await until("the remote state", function () { return idle() && $("remote-state").textContent === "Off"; });
       }, null],
      ["live", function () { click(document.querySelector("#step-remote .next")); }, null],
      ["finish", function () { click(document.querySelector("#step-live .next")); }, null]
    ];
    await searchDone();
    for (var k = 0; k < stages.length; k++) {
      if (stages[k][1]) await stages[k][1]();
      check(visible(stages[k][0]), "reached the step " + stages[k][0]);
      if (stages[k][0] !== target) continue;
      if (stages[k][2]) await stages[k][2]();
      checkLayout(target);
      return;
    }
    throw new Fail("no step " + target);
  }

  var scenarios = { main: walk, nocams: noCameras, stuck: stuck, unsaved: unsaved, close: closing, fields: fields,
                    silent: silent, shot: shot };

  function report(text) {
    var pre = document.createElement("pre");
    pre.id = "page-test-report";
    pre.hidden = true;
    pre.textContent = text + "\n" + log.join("\n");
    document.body.appendChild(pre);
    console.log("page-test: " + text);
  }

  window.addEventListener("load", function () {
    var run = scenarios[B.scenario];
    run().then(function () {
      if (B.problems.length) throw new Fail("bridge misuse: " + B.problems.join("; "));
      report("PASS");
    }).catch(function (e) {
      report("FAIL: " + (e instanceof Fail ? e.message : String(e && e.stack || e)));
    });
  });
})();
