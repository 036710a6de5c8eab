package kelvor.jdbc.kelcore;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;

import java.math.BigDecimal;
import java.time.LocalDateTime;
import java.util.Arrays;
import java.util.HexFormat;
import kelvor.jdbc.ArrayValue;
import kelvor.jdbc.AttributeWire;
import kelvor.jdbc.CharValue;
import kelvor.jdbc.Connection;
import kelvor.jdbc.DateValue;
import kelvor.jdbc.DriverException;
import kelvor.jdbc.NumberValue;
import kelvor.jdbc.ObjectValue;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Describe, write and read through Java over the example types, in both layouts and every
 * result style; every image is compared with the one the C++ API writes (the kelcore tool).
 */
class RoundTripTest {
  private static KelvorTypeADT typeOf(Connection conn, String name) {
    String sqlName = Fixtures.sqlName(name);
    return name.equals("persons") || name.equals("numbers")
        ? KelvorTypeCOLLECTION.forName(sqlName, conn)
        : KelvorTypeADT.forName(sqlName, conn);
  }

  @ParameterizedTest
  @ValueSource(strings = {"address", "person", "persons", "numbers"})
  void imagesMatchTheCppApiInBothLayouts(String name) {
    byte[] expected = Tool.encode(name);
    try (Connection conn = Fixtures.connectionServing(name)) {
      KelvorTypeADT type = typeOf(conn, name);
      // pickled -> value -> pickled
      Object value = type.fromImage(expected, 0, KelvorType.STYLE_SQL_VALUE);
      assertArrayEquals(expected, type.toImage(value));
      // the linear image a server ships for the same value reads to the same value
      Object fromLinear = type.fromImage(Fixtures.read(name + ".linear"), 0, KelvorType.STYLE_SQL_VALUE);
      assertEquals(value, fromLinear);
      assertArrayEquals(expected, type.toImage(fromLinear));
      // platform objects convert back to the very same image
      Object platform = type.fromImage(expected, 0, KelvorType.STYLE_PLATFORM_OBJECT);
      assertArrayEquals(expected, type.toImage(type.toSqlValue(platform)), "platform objects");
    }
  }

  @Test
  void valuesCarryTheirBytesAndConvertThroughTheLibrary() {
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      ObjectValue v = (ObjectValue) person.fromImage(Tool.encode("person"), 0, KelvorType.STYLE_SQL_VALUE);
      assertSame(person, v.getType());
      assertEquals("Mara Quell", ((CharValue) v.getAttribute(0)).stringValue());
      assertEquals(LocalDateTime.of(1987, 4, 12, 0, 0), ((DateValue) v.getAttribute(1)).localDateTimeValue());
      assertEquals(new BigDecimal("1.68"), ((NumberValue) v.getAttribute(2)).bigDecimalValue());
      ObjectValue address = (ObjectValue) v.getAttribute(3);
      ArrayValue lines = (ArrayValue) address.getAttribute(3);
      Object[] items = (Object[]) lines.getElements();
      assertEquals("Ring the second bell", ((CharValue) items[2]).stringValue());

      // The platform style: the attributes as Java's own objects.
      Object[] platform = ((ObjectValue) person.fromImage(Tool.encode("person"), 0, KelvorType.STYLE_PLATFORM_OBJECT))
          .getAttributes();
      assertEquals("Mara Quell", platform[0]);
      assertEquals(LocalDateTime.of(1987, 4, 12, 0, 0), platform[1]);
      assertEquals(new BigDecimal("1.68"), platform[2]);
    }
  }

  @Test
  void stringsCrossAsUtf16() {
    // Supplementary characters, a NUL and characters modified UTF-8 would encode differently.
    String text = "a\u0000b \u00e9 \u4e2d \ud83d\ude00 z";
    CharValue v = CharValue.of(text, 106);
    assertEquals(text, v.stringValue());
    assertArrayEquals(text.getBytes(java.nio.charset.StandardCharsets.UTF_8), v.getBytes());
    try (Connection conn = Fixtures.connectionServing("address")) {
      KelvorTypeADT address = KelvorTypeADT.forName("KELCORE.ADDRESS", conn);
      Object value = address.toSqlValue(new Object[] {text, "x", null, null});
      Object[] back = ((ObjectValue) address.fromImage(address.toImage(value), 0, KelvorType.STYLE_PLATFORM_OBJECT))
          .getAttributes();
      assertEquals(text, back[0]);
      assertNull(back[2]);
    }
  }

  @Test
  void identityHoldsWhileThePeerLives() {
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      assertSame(person, KelvorTypeADT.forName("KELCORE.PERSON", conn), "the connection's cache");
      KelvorType address = person.getAttributeType(3);
      assertSame(address, person.getAttributeType(3));
      assertInstanceOf(KelvorTypeADT.class, address);
      assertEquals(4, person.getNumAttributes());
      assertEquals(2002, address.getTypeCode());
    }
  }

  @Test
  void slicesAndPrimitiveArrays() {
    try (Connection conn = Fixtures.connectionServing("numbers", "persons")) {
      KelvorTypeCOLLECTION numbers = KelvorTypeCOLLECTION.forName("KELCORE.NUMBERS", conn);
      int[] ints = {7, -3, 0, 2147483647, -2147483648, 42};
      byte[] image = numbers.toImage(new ArrayValue(numbers, ints));
      assertArrayEquals(ints, numbers.readInts(image, 0, 1, -1));
      assertArrayEquals(new int[] {0, 2147483647}, numbers.readInts(image, 0, 3, 2));
      assertArrayEquals(new long[] {-3, 0}, numbers.readLongs(image, 0, 2, 2));
      ArrayValue slice = (ArrayValue) numbers.fromImage(image, 0, 5, 2, KelvorType.STYLE_SQL_VALUE);
      Object[] two = (Object[]) slice.getElements();
      assertEquals(-2147483648, ((NumberValue) two[0]).intValue());
      assertEquals(42, ((NumberValue) two[1]).intValue());
      // the same bytes as elements written one by one as values
      Object[] values = new Object[ints.length];
      for (int i = 0; i < ints.length; ++i) {
        values[i] = NumberValue.of(ints[i]);
      }
      assertArrayEquals(image, numbers.toImage(new ArrayValue(numbers, values)));

      KelvorTypeCOLLECTION persons = KelvorTypeCOLLECTION.forName("KELCORE.PERSONS", conn);
      byte[] linear = Fixtures.read("persons.linear");
      ArrayValue second = (ArrayValue) persons.fromImage(linear, 0, 2, 1, KelvorType.STYLE_SQL_VALUE);
      ArrayValue all = (ArrayValue) persons.fromImage(linear, 0, KelvorType.STYLE_SQL_VALUE);
      assertEquals(((Object[]) all.getElements())[1], ((Object[]) second.getElements())[0]);
      // The count-only style: the count, no elements.
      ArrayValue counted = (ArrayValue) persons.fromImage(linear, 0, KelvorTypeCOLLECTION.STYLE_COUNT_ONLY);
      assertEquals(((Object[]) all.getElements()).length, counted.getLength());
      assertNull(counted.getElements());
    }
  }

  @Test
  void manyValuesCrossPackedAndOneByOneAlike() {
    try (Connection conn = Fixtures.connectionServing("numbers")) {
      KelvorTypeCOLLECTION numbers = KelvorTypeCOLLECTION.forName("KELCORE.NUMBERS", conn);
      Object[] values = new Object[40];
      Object[] mixed = new Object[40];  // one Java object among the values: crosses one by one
      for (int i = 0; i < values.length; ++i) {
        values[i] = i % 7 == 3 ? null : NumberValue.of(new BigDecimal(i).movePointLeft(i % 5));
        mixed[i] = values[i];
      }
      mixed[1] = new BigDecimal(1).movePointLeft(1);
      byte[] image = numbers.toImage(new ArrayValue(numbers, values));
      assertArrayEquals(image, numbers.toImage(new ArrayValue(numbers, mixed)));
      Object[] back = (Object[]) ((ArrayValue) numbers.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE)).getElements();
      assertArrayEquals(values, back);
      // Character values of one set cross packed too: LINES holds up to 10.
      Object[] texts = new Object[10];
      for (int i = 0; i < texts.length; ++i) {
        texts[i] = i == 4 ? null : CharValue.of("\u00e9l\u00e8ve " + i, 106);
      }
      try (Connection conn2 = Fixtures.connectionServing("address")) {
        KelvorTypeADT address = KelvorTypeADT.forName("KELCORE.ADDRESS", conn2);
        Object value = address.toSqlValue(new Object[] {null, null, null, new ArrayValue(null, texts)});
        ObjectValue read = (ObjectValue) address.fromImage(address.toImage(value), 0, KelvorType.STYLE_SQL_VALUE);
        assertArrayEquals(texts, (Object[]) ((ArrayValue) read.getAttribute(3)).getElements());
      }
    }
  }

  @Test
  void collectionsReadCrossBackBeforeTheirElementsAreMade() {
    try (Connection conn = Fixtures.connectionServing("numbers")) {
      KelvorTypeCOLLECTION numbers = KelvorTypeCOLLECTION.forName("KELCORE.NUMBERS", conn);
      Object[] values = new Object[12];
      for (int i = 0; i < values.length; ++i) {
        values[i] = i % 5 == 2 ? null : NumberValue.of(new BigDecimal(i * 1000 + 7).movePointLeft(i % 4));
      }
      byte[] image = numbers.toImage(new ArrayValue(numbers, values));
      ArrayValue read = (ArrayValue) numbers.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE);
      assertArrayEquals(image, numbers.toImage(read));
      assertArrayEquals(values, (Object[]) read.getElements());
      // In an object's attributes, elements read and not yet made cross in the one array as
      // their objects would.
      ArrayValue unmade = (ArrayValue) numbers.fromImage(image, 0, KelvorType.STYLE_SQL_VALUE);
      AttributeWire wire = AttributeWire.of(new Object[] {unmade});
      assertArrayEquals(AttributeWire.of(new Object[] {new ArrayValue(numbers, values)}).bytes(), wire.bytes());
      assertArrayEquals(image, numbers.toImage(unmade));

      // Once made, the elements are what is written: a change to them is not lost.
      ((Object[]) read.getElements())[0] = NumberValue.of(99);
      values[0] = NumberValue.of(99);
      assertArrayEquals(numbers.toImage(new ArrayValue(numbers, values)), numbers.toImage(read));
    }
  }

  /** The result of a conversion, or the class and driver code of its failure. */
  private static Object outcome(java.util.function.Supplier<Object> conversion) {
    try {
      return conversion.get();
    } catch (DriverException e) {
      return "DriverException " + e.getErrorCode();
    } catch (RuntimeException e) {
      return e.getClass().getName();
    }
  }

  @Test
  void attributesConvertInOneArrayAsOneByOne() {
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      LocalDateTime born = LocalDateTime.of(-44, 3, 15, 12, 30, 5);
      // NAME, BORN, HEIGHT (a NUMBER), ADDRESS (null: an object would take the general path)
      Object[][] rows = {
        {"Mara", born, 168, null},
        {"\u00e9 \ud800 \ud83d\ude00", DateValue.of(born), -168L, null},  // a lone surrogate
        {CharValue.of("x", 106), born, (short) -2, null},
        {"a", born, (byte) -3, null},
        {"a", born, -1.68, null},
        {"a", born, 1.68f, null},
        {"a", born, new BigDecimal("-1.5E+3"), null},
        {"a", born, true, null},
        {"a", born, new byte[] {1, 2}, null},
        {new byte[] {1, 2}, "not a date", "12.5", null},
      };
      for (Object[] row : rows) {
        Object oneByOne = outcome(() -> {
          Object[] made = new Object[row.length];
          for (int i = 0; i < 3; ++i) {
            made[i] = person.getAttributeType(i).toSqlValue(row[i]);
          }
          return Arrays.asList(made);
        });
        Object inOneArray = outcome(() -> Arrays.asList(((ObjectValue) person.toSqlValue(row)).getAttributes()));
        assertEquals(oneByOne, inOneArray, Arrays.toString(row));
      }
    }
  }

  @Test
  void javaObjectsInNestedArraysWriteTheImageTheCppApiWrites() {
    try (Connection conn = Fixtures.connectionServing("person")) {
      KelvorTypeADT person = KelvorTypeADT.forName("KELCORE.PERSON", conn);
      Object value = person.toSqlValue(new Object[] {"Mara Quell", LocalDateTime.of(1987, 4, 12, 0, 0),
          new BigDecimal("1.68"), new Object[] {"14 Linden Row", "Osterby", "OS1 4LR",
              // without a type of its own: the one declared for LINES in ADDRESS
              new ArrayValue(null, new Object[] {"Flat 3", "Linden Court", "Ring the second bell"})}});
      assertArrayEquals(Tool.encode("person"), person.toImage(value));
    }
  }

  @Test
  void scalarsConvertBothWays() {
    assertEquals(new BigDecimal("-123.4500"), NumberValue.of(new BigDecimal("-123.4500")).bigDecimalValue().setScale(4));
    assertEquals(1234567890123L, NumberValue.of(1234567890123L).longValue());
    assertEquals(HexFormat.of().formatHex(NumberValue.of(100).getBytes()),
        HexFormat.of().formatHex(NumberValue.of(new BigDecimal("1E+2")).getBytes()));
    LocalDateTime t = LocalDateTime.of(-44, 3, 15, 12, 30, 5);
    assertEquals(t, DateValue.of(t).localDateTimeValue());
  }
}
