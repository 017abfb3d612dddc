// What the viewer movie knows about a catalogue, read from "vellora.xml".
//
// The file is read by its fixed layout of one element per line, each value running up to the
// text that starts the next attribute or closes the line, so a catalogue made by an older
// build, whose values stand exactly as typed (an index description may hold `<`, `&` or
// quotes), reads as well as one whose values Vellora escaped. Entities are decoded only when
// every `&` of the file starts one. Nothing here throws: some players cannot unwind a thrown
// error, so a fault is returned as a French reason.

typedef ButtonSetting = {visible:Bool, alt:String};
typedef IndexEntry = {page:Int, description:String};

class Catalogue {
	public static var BUTTONS(default, never) = [
		"print", "zoomLess", "zoomPlus", "first", "previous", "next", "last", "index", "pages", "fullScreen"
	];

	public var width(default, null) = 592;
	public var height(default, null) = 790;
	public var hardCover(default, null) = true;
	public var pages(default, null):Array<String> = [];
	public var color1(default, null):Int = 0xFFFFFF;
	public var color2(default, null):Int = 0xC0C0C0;
	public var buttons(default, null) = new Map<String, ButtonSetting>();
	public var index(default, null):Array<IndexEntry> = [];

	function new() {}

	// The reason the text is not a catalogue, or null when `parse` may be called.
	public var error(default, null):String = null;

	public static function parse(text:String):Catalogue {
		var catalogue = new Catalogue();
		if (text == null || StringTools.trim(text) == "") {
			catalogue.error = "le fichier est vide";
			return catalogue;
		}
		catalogue.fill(readLines(text, ~/&(#[0-9]+|#x[0-9a-fA-F]+|[a-z]+);/g.replace(text, "").indexOf("&") < 0));
		return catalogue;
	}

	static function decodeEntities(value:String):String {
		return ~/&(#[0-9]+|#x[0-9a-fA-F]+|amp|lt|gt|quot|apos);/g.map(value, function(matcher) {
			var entity = matcher.matched(1);
			return switch (entity) {
				case "amp": "&";
				case "lt": "<";
				case "gt": ">";
				case "quot": "\"";
				case "apos": "'";
				default:
					var code = StringTools.startsWith(entity, "#x") ? Std.parseInt("0x" + entity.substr(2)) : Std.parseInt(entity.substr(1));
					code == null || code <= 0 ? "" : String.fromCharCode(code);
			}
		});
	}

	// The digits after "#" are Vellora's colour value in hexadecimal, 0x00BBGGRR: they read
	// blue, green, red. Returns the colour as 0xRRGGBB, or -1 when the text is not such a value.
	public static function decodeColour(text:String):Int {
		if (text == null)
			return -1;
		var matcher = ~/^\s*#?([0-9a-fA-F]{6,8})\s*$/;
		if (!matcher.match(text))
			return -1;
		var digits = matcher.matched(1);
		digits = digits.substr(digits.length - 6);
		var blue = Std.parseInt("0x" + digits.substr(0, 2));
		var green = Std.parseInt("0x" + digits.substr(2, 2));
		var red = Std.parseInt("0x" + digits.substr(4, 2));
		return (red << 16) | (green << 8) | blue;
	}

	// A page movie is loaded only by a plain file name of the catalogue's own folder, whatever
	// the configuration says, so the viewer never reaches outside its folder.
	public static function pageMovieName(source:String, pageNumber:Int):String {
		var name = source == null ? "" : StringTools.trim(source);
		if (!~/^[A-Za-z0-9_.\- ]+\.swf$/i.match(name) || StringTools.startsWith(name, "."))
			return "page" + pageNumber + ".swf";
		return name;
	}

	function fill(elements:Elements) {
		if (elements.content == null) {
			error = "ce n'est pas une configuration de catalogue";
			return;
		}
		width = positive(elements.content.get("width"), width);
		height = positive(elements.content.get("height"), height);
		hardCover = elements.content.get("hcover") != "false";
		for (i in 0...elements.pages.length)
			pages.push(pageMovieName(elements.pages[i], i + 1));
		if (pages.length == 0) {
			error = "aucune page n'est listée";
			return;
		}
		if (elements.bg != null) {
			var first = decodeColour(elements.bg.get("color1"));
			var second = decodeColour(elements.bg.get("color2"));
			if (first >= 0)
				color1 = first;
			if (second >= 0)
				color2 = second;
		}
		for (name in BUTTONS) {
			var attributes = elements.buttons.get(name);
			var alt = attributes == null ? null : attributes.get("alt");
			buttons.set(name, {
				visible: attributes == null || attributes.get("visible") != "false",
				alt: alt == null ? "" : alt
			});
		}
		// Rows whose page is not a page of this catalogue would lead nowhere: left out.
		for (entry in elements.index) {
			var text = entry.get("page");
			if (text == null || !~/^\s*[0-9]+\s*$/.match(text))
				continue;
			var page = Std.parseInt(StringTools.trim(text));
			if (page >= 1 && page <= pages.length) {
				var description = entry.get("description");
				index.push({page: page, description: description == null ? "" : description});
			}
		}
	}

	static function positive(text:String, fallback:Int):Int {
		if (text == null || !~/^\s*[0-9]{1,5}\s*$/.match(text))
			return fallback;
		var value = Std.parseInt(StringTools.trim(text));
		return value > 0 ? value : fallback;
	}

	static var ATTRIBUTES(default, never):Map<String, Array<String>> = [
		"content" => ["width", "height", "hcover", "transparency"],
		"page" => ["src", "preLoad", "canTear"],
		"bg" => ["color1", "color2"],
		"index" => ["page", "description"]
	];

	static function readLines(text:String, escaped:Bool):Elements {
		var elements = new Elements();
		var nameMatcher = ~/^[ \t]*<([A-Za-z_]+)/;
		for (rawLine in ~/\r?\n/g.split(text)) {
			if (!nameMatcher.match(rawLine))
				continue;
			var name = nameMatcher.matched(1);
			var names = ATTRIBUTES.get(name);
			if (names == null && StringTools.endsWith(name, "_btn"))
				names = ["visible", "alt"];
			if (names == null)
				continue;
			var values = readAttributes(nameMatcher.matchedRight(), names);
			if (escaped)
				for (key in values.keys())
					values.set(key, decodeEntities(values.get(key)));
			if (name == "content")
				elements.content = values;
			else
				elements.add(name, values);
		}
		return elements;
	}

	// Each value runs from `name="` to the start of the next known attribute, or to the last
	// quote of the line for the last one, so quotes inside a value are kept.
	static function readAttributes(rest:String, names:Array<String>):Map<String, String> {
		var values = new Map<String, String>();
		var starts = [];
		for (name in names) {
			var position = -1;
			for (separator in [" ", "\t"]) {
				var found = rest.indexOf(separator + name + "=\"");
				if (found >= 0 && (position < 0 || found < position))
					position = found;
			}
			starts.push(position);
		}
		for (i in 0...names.length) {
			if (starts[i] < 0)
				continue;
			var from = starts[i] + names[i].length + 3;
			var to = -1;
			for (j in (i + 1)...names.length)
				if (starts[j] > from) {
					to = starts[j];
					break;
				}
			if (to < 0)
				to = rest.lastIndexOf(">");
			var value = rest.substring(from, to < 0 ? rest.length : to);
			value = ~/"\s*\/?\s*$/.replace(StringTools.rtrim(value), "");
			values.set(names[i], value);
		}
		return values;
	}
}

private class Elements {
	public var content:Map<String, String>;
	public var pages:Array<String> = [];
	public var bg:Map<String, String>;
	public var buttons = new Map<String, Map<String, String>>();
	public var index:Array<Map<String, String>> = [];

	public function new() {}

	public function add(name:String, values:Map<String, String>) {
		switch (name) {
			case "page":
				pages.push(values.get("src"));
			case "bg":
				bg = values;
			case "index":
				index.push(values);
			default:
				if (StringTools.endsWith(name, "_btn"))
					buttons.set(name.substr(0, name.length - 4), values);
		}
	}
}
