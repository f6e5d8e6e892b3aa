// The last script: wires the page up once it is loaded.
"use strict";

function init() {
  var params = new URLSearchParams(location.search);
  var model = params.get("model");
  if (model && model.length <= 63) W.model = model;
  $("model-input").value = W.model;
  var icon = $("model-icon");
  icon.addEventListener("error", function () { icon.classList.add("missing"); });
  updateIcon();

  $("search-form").addEventListener("submit", function (e) { e.preventDefault(); search(); });
  $("login-form").addEventListener("submit", function (e) { e.preventDefault(); login(); });
  $("address-form").addEventListener("submit", function (e) { e.preventDefault(); applyAddress(); });
  $("password-form").addEventListener("submit", function (e) { e.preventDefault(); changePassword(); });
  $("wireless-form").addEventListener("submit", function (e) { e.preventDefault(); applyWireless(); });
  ["login-form", "address-form", "password-form", "wireless-form"].forEach(function (id) {
    $(id).addEventListener("input", fieldChanged);
    $(id).addEventListener("change", fieldChanged);
    $(id).addEventListener("input", refreshControls);
    $(id).addEventListener("change", refreshControls);
  });
  $("wl-auth").addEventListener("change", authChanged);
  document.addEventListener("keydown", function (e) {
    if (e.key !== "Escape" || !W.cancelAction || (W.busy && !W.cancelAnyTime)) return;
    e.preventDefault();
    W.cancelAction();
  });
  W.base.password = snapshot("password");
  $("info-reload-btn").addEventListener("click", reloadInfo);
  $("survey-btn").addEventListener("click", scanNetworks);
  $("save-btn").addEventListener("click", saveSettings);
  $("remote-btn").addEventListener("click", remoteAccess);
  $("close-btn").addEventListener("click", function () { closeWizard(false); });
  $("finish-close-btn").addEventListener("click", function () { closeWizard(false); });
  $("open-web-btn").addEventListener("click", function () { openPage(W.address); });
  $("copy-web-btn").addEventListener("click", function () { copyText(W.address); });
  $("open-remote-btn").addEventListener("click", function () { openPage(W.remoteUrl); });
  $("copy-remote-btn").addEventListener("click", function () { copyText(W.remoteUrl); });
  $("bookmark-btn").addEventListener("click", saveBookmark);
  $("manual-btn").addEventListener("click", openManual);

  var go = document.querySelectorAll("[data-go]");
  for (var k = 0; k < go.length; k++) {
    go[k].addEventListener("click", function (e) { goTo(e.currentTarget.getAttribute("data-go")); });
  }
  var items = document.querySelectorAll("#steps li");
  for (k = 0; k < items.length; k++) {
    items[k].addEventListener("click", function (e) { goTo(e.currentTarget.getAttribute("data-step")); });
    items[k].addEventListener("keydown", function (e) {
      if (e.key !== "Enter" && e.key !== " ") return;
      e.preventDefault();
      goTo(e.currentTarget.getAttribute("data-step"));
    });
  }

  goTo("search");
  if (hasBridge()) search();
  else showMessage("This page works only inside the camera wizard program.", "error");
}

document.addEventListener("DOMContentLoaded", init);
