#pragma once

// The host name under which the UI folder is served to the page: the page's origin is
// "https://" + UiVirtualHost. The download names it as its Referer.
inline constexpr char UiVirtualHost[] = "quillfetch.localhost";
